// SPDX-License-Identifier: Apache-2.0
// The first steps of a job against keld-sim, found through the serial-port map.
#include "link/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "link/link_stopped.h"
#include "link/protocol.h"
#include "link/transfer.h"
#include "link_fixture.h"
#include "platform/debug_output.h"
#include "platform/devicemap.h"
#include "platform/serial_port.h"
#include "sim/keld_sim.h"

namespace {

using tarn::platform::RegisterPort;
using tarn::sim::PhoneConfig;
using tarn::sim::SimPhone;

bool Sent(const SimPhone& phone, int code) {
  const auto commands = phone.Commands();
  return std::any_of(commands.begin(), commands.end(), [code](const auto& c) { return c.code == code; });
}

class Connection : public tarn::test::LinkTest {
 protected:
  // Starts a phone on COM1 and opens it.
  SimPhone& StartPhone(PhoneConfig config = {}) {
    phone_ = std::make_unique<SimPhone>(config);
    EXPECT_TRUE(phone_->Start());
    EXPECT_EQ(1, OpenComPort(link_, config.comNumber));
    return *phone_;
  }
  std::unique_ptr<SimPhone> phone_;
};

TEST_F(Connection, ExplicitPortNeedsNoMap) {
  EXPECT_EQ(1, FindPort(link_, 5, &port_));
  EXPECT_EQ(5, port_);
  EXPECT_FALSE(std::filesystem::exists(tarn::platform::DeviceMapRoot()));
}

TEST_F(Connection, LookupTakesTheFirstIndexThenDmBeforeEm) {
  ASSERT_TRUE(RegisterPort("qxcemdm3", 12, "/dev/null"));
  EXPECT_EQ(12, LookupPhonePort());
  ASSERT_TRUE(RegisterPort("qxcdmdm1", 4, "/dev/null"));
  ASSERT_TRUE(RegisterPort("qxcemdm0", 9, "/dev/null"));
  EXPECT_EQ(9, LookupPhonePort());
  ASSERT_TRUE(RegisterPort("qxcdmdm0", 2, "/dev/null"));
  EXPECT_EQ(2, LookupPhonePort());
  EXPECT_EQ(1, FindPort(link_, -2, &port_));
  EXPECT_EQ(2, port_);
}

TEST_F(Connection, LookupIgnoresIndexesPast255AndOtherNames) {
  ASSERT_TRUE(RegisterPort("qxcdmdm256", 4, "/dev/null"));
  ASSERT_TRUE(RegisterPort("ttyS0", 5, "/dev/null"));
  tarn::platform::SetClockScale(0.0001);  // the 600-second budget passes in 60 ms
  EXPECT_EQ(0, LookupPhonePort());
  EXPECT_EQ(15, FindPort(link_, -1, &port_));
  EXPECT_EQ(std::vector<std::wstring>{L"e - dll cannot find the comport."}, events_.Errors());
}

TEST_F(Connection, LookupWaitsForAPhoneToAppear) {
  std::filesystem::create_directories(tarn::platform::DeviceMapRoot() / "SERIALCOMM");
  std::thread plug([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RegisterPort("qxcemdm7", 21, "/dev/null");
  });
  EXPECT_EQ(21, LookupPhonePort());  // the budget is 6 s at this clock scale
  plug.join();
}

TEST_F(Connection, NoMapMeansNoPort) { EXPECT_EQ(0, LookupPhonePort()); }

struct GreetingCase {
  const char* word;
  int version;
};

class Greeting : public Connection, public ::testing::WithParamInterface<GreetingCase> {};

TEST_P(Greeting, WordGivesTheLoaderVersion) {
  PhoneConfig config;
  config.greeting = GetParam().word;
  SimPhone& phone = StartPhone(config);
  EXPECT_EQ(1, Connect(link_));
  EXPECT_EQ(GetParam().version, link_.loaderVersion);
  EXPECT_EQ(GetParam().version, link_.loaderVersion);
  EXPECT_FALSE(Sent(phone, 712));
  EXPECT_TRUE(events_.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Words, Greeting,
                         ::testing::Values(GreetingCase{"PELL", 1}, GreetingCase{"KELD", 2}, GreetingCase{"TARN", 3}),
                         [](const auto& info) { return std::string(info.param.word); });

TEST_F(Connection, LastAsksForTheVersion) {
  std::mutex lock;
  std::string log;
  auto previous = tarn::platform::SetDebugOutputSink([&](std::string_view record) {
    std::lock_guard<std::mutex> guard(lock);
    log += record;
  });
  PhoneConfig config;
  config.greeting = "LAST";
  config.loaderVersion = 11;
  config.buildDate = 0x12345;
  SimPhone& phone = StartPhone(config);
  EXPECT_EQ(1, Connect(link_));
  tarn::platform::SetDebugOutputSink(previous);
  EXPECT_EQ(11, link_.loaderVersion);
  EXPECT_EQ(11, link_.loaderVersion);
  EXPECT_TRUE(Sent(phone, 712));
  EXPECT_NE(std::string::npos, log.find("KELD Version 11, Compile date : 74565\n"));
  EXPECT_NE(std::string::npos, log.find(">>> Device LAST\n"));
  EXPECT_NE(std::string::npos, log.find("[ cmd ] GetVersion(712), arg 0, len 0, flag 0\n"));
}

TEST_F(Connection, UnknownWordFailsTheConnection) {
  PhoneConfig config;
  config.greeting = "ABCD";
  StartPhone(config);
  EXPECT_EQ(255, Connect(link_));
  EXPECT_EQ((std::vector<std::wstring>{L"e - dll cannot setup connection with the target.", L"e - Connection failed."}),
            events_.Errors());
  EXPECT_TRUE(events_.HasText(L"target sent : A B C D"));
  EXPECT_EQ(0, link_.loaderVersion);
}

TEST_F(Connection, ShortGreetingFailsAndShowsWhatCame) {
  PhoneConfig config;
  config.faults.shortAnswer = {tarn::sim::kGreetingCode, 1};
  StartPhone(config);
  EXPECT_EQ(255, Connect(link_));
  EXPECT_TRUE(events_.HasText(L"target sent : K E . ."));
}

TEST_F(Connection, PlatformOfThePhoneIsTaken) {
  PhoneConfig config;
  config.platform = 2;
  config.revision = 3;
  StartPhone(config);
  ASSERT_EQ(1, Connect(link_));
  EXPECT_EQ(1, CheckPlatform(link_));
  EXPECT_EQ(2, link_.options.platform);
  EXPECT_TRUE(events_.HasText(L"tarn mode.. check platform verification."));
  EXPECT_TRUE(events_.HasText(L"[ Device ] platform 2, revision 3."));
}

TEST_F(Connection, NegativeRevisionIsSigned) {
  PhoneConfig config;
  config.platform = 5;
  config.revision = -2;
  StartPhone(config);
  ASSERT_EQ(1, Connect(link_));
  EXPECT_EQ(1, CheckPlatform(link_));
  EXPECT_TRUE(events_.HasText(L"[ Device ] platform 5, revision -2."));
}

TEST_F(Connection, DifferentPlatformFails) {
  PhoneConfig config;
  config.platform = 3;
  StartPhone(config);
  link_.options.platform = 2;
  ASSERT_EQ(1, Connect(link_));
  EXPECT_EQ(255, CheckPlatform(link_));
  EXPECT_TRUE(events_.HasText(L"[ File ] platform 2\n"));
  EXPECT_TRUE(events_.HasText(L"e - platform number is different from the target."));
  EXPECT_EQ(std::vector<std::wstring>{L"e - Checking platform failed."}, events_.Errors());
  EXPECT_EQ(2, link_.options.platform);
}

TEST_F(Connection, NpsModeSkipsThePlatformQuery) {
  PhoneConfig config;
  config.platform = 3;
  SimPhone& phone = StartPhone(config);
  link_.options.npsMode = true;
  link_.options.platform = 2;
  ASSERT_EQ(1, Connect(link_));
  EXPECT_EQ(1, CheckPlatform(link_));
  EXPECT_EQ(2, link_.options.platform);
  EXPECT_TRUE(events_.HasText(L"nps mode.. pass platform verification."));
  EXPECT_FALSE(Sent(phone, 713));
}

TEST_F(Connection, FirstStepsThroughTheMap) {
  PhoneConfig config;
  config.kind = tarn::sim::PortKind::Em;
  config.index = 2;
  config.comNumber = 14;
  config.platform = 2;
  SimPhone phone(config);
  ASSERT_TRUE(phone.Start());
  ASSERT_EQ(1, FindPort(link_, -1, &port_));
  EXPECT_EQ(14, port_);
  ASSERT_EQ(1, OpenComPort(link_, port_));
  EXPECT_TRUE(events_.HasText(L"open COM14"));
  ASSERT_EQ(1, Connect(link_));
  ASSERT_EQ(1, CheckPlatform(link_));
  EXPECT_EQ(2, link_.options.platform);
  const auto commands = phone.Commands();
  ASSERT_EQ(2u, commands.size());
  EXPECT_EQ(tarn::sim::kGreetingCode, commands[0].code);
  EXPECT_EQ(713, commands[1].code);
}

// A port held by another program, and a map entry that leads to no terminal.
TEST_F(Connection, PortHeldElsewhereOrNoTerminalCannotBeOpened) {
  SimPhone phone(PhoneConfig{});
  ASSERT_TRUE(phone.Start());
  tarn::platform::CSerialPort other;
  ASSERT_TRUE(other.Open(phone.TtyPath().string()));
  ASSERT_TRUE(tarn::platform::RegisterPort("qxcdmdm9", 2, "/dev/null"));
  EXPECT_EQ(15, OpenComPort(link_, 1));
  EXPECT_EQ(15, OpenComPort(link_, 2));
  EXPECT_EQ((std::vector<std::wstring>{L"e - cannot open the usb serial port1. code: 5",
                                       L"e - the map entry of COM2 leads to no serial port: /dev/null"}),
            events_.Errors());
}

TEST_F(Connection, RefusedWrongAndMissingAnswers) {
  PhoneConfig config;
  config.faults.fail = {707, 1};
  config.faults.failResult = 3;
  config.faults.wrongEcho = {707, 2};
  config.faults.silence = {707, 3};
  StartPhone(config);
  tarn::platform::SetClockScale(0.0005);  // the silent answer's 300 s pass in 150 ms
  ASSERT_EQ(1, Connect(link_));
  EXPECT_EQ(255, SendCommand(link_, 707, 0, 0, 0));
  EXPECT_TRUE(events_.HasText(L"e - Command 707 Failed. result 3\n"));
  EXPECT_EQ(255, SendCommand(link_, 707, 0, 0, 0));
  EXPECT_TRUE(events_.HasText(L"Command 707, respond 708\n"));
  EXPECT_EQ(255, SendCommand(link_, 707, 0, 0, 0));
  EXPECT_TRUE(events_.HasText(L"e - the phone did not answer within 300 seconds."));
  EXPECT_EQ(1, SendCommand(link_, 707, 0, 0, 0));
}

// A stop request ends the link before the next command packet or greeting,
// never inside a piece the phone was told to expect: it then still waits for
// a command and greets a new run.
TEST_F(Connection, StopRequestEndsTheLinkOnlyAtACommandBoundary) {
  SimPhone& phone = StartPhone();
  std::atomic<bool> stop{false};
  link_.stopRequested = &stop;
  ASSERT_EQ(1, Connect(link_));
  const std::vector<std::uint8_t> data(3 * tarn::sim::kFrameSize, 0x5A);
  ASSERT_EQ(1, SendCommand(link_, CMD_READY, 0, static_cast<int>(data.size()), 0));
  stop = true;
  EXPECT_EQ(1, XmitData(link_, data.data(), static_cast<DWORD>(data.size())));
  EXPECT_EQ(3, phone.Stats().frames);
  EXPECT_THROW(SendCommand(link_, CMD_END_FRAMES, 0, 0, 0), LinkStopped);
  EXPECT_THROW(Connect(link_), LinkStopped);
  EXPECT_FALSE(Sent(phone, CMD_END_FRAMES));
  EXPECT_EQ(1, phone.Stats().greetings);
  stop = false;
  EXPECT_EQ(1, Connect(link_));
  EXPECT_EQ(2, phone.Stats().greetings);
}

}  // namespace
