// SPDX-License-Identifier: Apache-2.0
// CUSBDevice and the session's byte transfer over real pseudo-terminals.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/byte_io.h"
#include "link/link_disconnected.h"
#include "link/protocol.h"
#include "link/usb_device.h"
#include "link_fixture.h"
#include "platform/devicemap.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "sim/sim_pty.h"

namespace {

using tarn::platform::RegisterPort;

class SerialLink : public tarn::test::LinkTest {
 protected:
  void Plug(int com) {
    ASSERT_TRUE(far_.Create());
    ASSERT_TRUE(RegisterPort("qxcdmdm0", com, far_.SlavePath()));
  }
  std::string FarRead(std::size_t count) {
    std::string bytes(count, '\0');
    EXPECT_TRUE(far_.ReadExact(bytes.data(), count, never_));
    return bytes;
  }
  tarn::sim::SimPty far_;
  std::atomic<bool> never_{false};
};

TEST_F(SerialLink, BytesPassUnchangedBothWays) {
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  // Bytes a cooked or flow-controlled line would eat or translate.
  const std::string sent("\r\n\x03\x11\x13\x7f\x00\xff", 8);
  ASSERT_TRUE(device_.Send(sent.data(), static_cast<DWORD>(sent.size())));
  EXPECT_EQ(sent, FarRead(sent.size()));
  ASSERT_TRUE(far_.WriteAll(sent.data(), sent.size()));
  std::string got(sent.size(), '\0');
  EXPECT_EQ(sent.size(), device_.Receive(got.data(), static_cast<DWORD>(got.size())));
  EXPECT_EQ(sent, got);
}

TEST_F(SerialLink, AnswerInTwoPiecesIsReadWhole) {
  tarn::platform::SetClockScale(1.0);  // the gap must stay inside the read time-out
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  ASSERT_TRUE(far_.WriteAll("\xbc\x02", 2));
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    far_.WriteAll("\x00\x00", 2);
  });
  std::uint8_t answer[4] = {1, 1, 1, 1};
  EXPECT_EQ(4u, device_.Receive(answer, 4));
  late.join();
  const std::uint8_t expected[4] = {0xBC, 0x02, 0, 0};
  EXPECT_EQ(0, std::memcmp(expected, answer, 4));
}

TEST_F(SerialLink, TwoOfFourBytesThenSilenceGivesTwo) {
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  ASSERT_TRUE(far_.WriteAll("KE", 2));
  char answer[4] = {};
  EXPECT_EQ(2u, device_.Receive(answer, 4));
  EXPECT_NE(ERROR_ACCESS_DENIED, device_.LastError());
  EXPECT_EQ(0, std::memcmp("KE", answer, 2));
}

TEST_F(SerialLink, SilentPhoneEndsTheFirstByteWait) {
  tarn::platform::SetClockScale(0.0005);
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  char answer[4];
  EXPECT_EQ(0u, device_.Receive(answer, 4));
  EXPECT_EQ(tarn::platform::kErrorTimeout, device_.LastError());
}

TEST_F(SerialLink, PortZeroFailsAtOnce) {
  EXPECT_FALSE(device_.Open(0));
  EXPECT_FALSE(device_.IsOpen());
}

TEST_F(SerialLink, MissingPortIsTriedTenTimes) {
  const DWORD start = GetTickCount();
  EXPECT_FALSE(device_.Open(4));
  // Nine pauses of 1000 clock ms lie between the ten attempts.
  EXPECT_GE(GetTickCount() - start, 9000u);
  EXPECT_EQ(2u, device_.LastError());
}

TEST_F(SerialLink, PortThatAppearsDuringTheAttemptsIsOpened) {
  std::thread plug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    Plug(6);
  });
  EXPECT_TRUE(device_.Open(6));
  plug.join();
}

TEST_F(SerialLink, PortHeldByAnotherOpenerIsDenied) {
  Plug(3);
  tarn::platform::CSerialPort other;
  ASSERT_TRUE(other.Open(far_.SlavePath().string()));
  EXPECT_FALSE(device_.Open(3));
  EXPECT_EQ(ERROR_ACCESS_DENIED, device_.LastError());
  other.Close();
  EXPECT_TRUE(device_.Open(3));
}

// The map may lead anywhere under /dev. A file, a FIFO (which an open for
// writing would not block on) and a device that is no terminal are refused
// with their own text and never opened for writing.
TEST_F(SerialLink, EntriesLeadingToNoTerminalAreRefusedUnopened) {
  char folder[] = "/dev/shm/tarn-serial-XXXXXX";
  ASSERT_NE(nullptr, ::mkdtemp(folder));
  const std::filesystem::path shm(folder);
  std::ofstream(shm / "file") << "phone";
  ASSERT_EQ(0, ::mkfifo((shm / "fifo").c_str(), 0600));
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, folder, IN_CLOSE_WRITE | IN_MODIFY), 0);
  const std::filesystem::path nodes[] = {shm / "file", shm / "fifo", "/dev/null"};
  for (int com = 1; com <= 3; ++com) {
    const std::string node = nodes[com - 1].string();
    ASSERT_TRUE(RegisterPort("qxcdmdm" + std::to_string(com), com, node));
    EXPECT_FALSE(device_.Open(com)) << node;
    EXPECT_EQ(tarn::platform::kErrorNotASerialPort, device_.LastError()) << node;
    EXPECT_EQ(L"e - the map entry of COM" + std::to_wstring(com) + L" leads to no serial port: " +
                  tarn::platform::Widen(node),
              device_.OpenFailureText(com));
    tarn::platform::CSerialPort direct;  // the open itself refuses, whatever the map let through
    EXPECT_FALSE(direct.Open(node)) << node;
    EXPECT_EQ(tarn::platform::kErrorNotASerialPort, GetLastError()) << node;
  }
  char events[4096];
  EXPECT_EQ(-1, ::read(watch, events, sizeof events));  // no write and no close after writing
  ::close(watch);
  std::filesystem::remove_all(shm);
}

TEST_F(SerialLink, SecondClosePortChangesNothing) {
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  EXPECT_TRUE(device_.Worker().ClosePort());
  EXPECT_FALSE(device_.Worker().ClosePort());
  EXPECT_FALSE(device_.Close());
  EXPECT_FALSE(device_.IsOpen());
}

TEST_F(SerialLink, UnpluggedPortReportsAccessDenied) {
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  far_.Close();
  char answer[4];
  EXPECT_EQ(0u, device_.Receive(answer, 4));
  EXPECT_EQ(ERROR_ACCESS_DENIED, device_.LastError());
  EXPECT_FALSE(device_.Send("x", 1));
  EXPECT_EQ(ERROR_ACCESS_DENIED, device_.LastError());
}

TEST_F(SerialLink, StopRequestEndsAWaitingReceive) {
  tarn::platform::SetClockScale(1.0);
  Plug(3);
  std::atomic<bool> returned{false};
  auto thread = tarn::platform::CThread::Create([&]() -> DWORD {
    CUSBDevice device;
    if (!device.Open(3)) return 1;
    char answer[4];
    device.Receive(answer, 4);
    returned = true;
    return 2;
  });
  ASSERT_TRUE(thread);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // past the 500 ms settle time
  thread->RequestStop();
  ASSERT_TRUE(thread->WaitEnded(std::chrono::seconds(10)));
  EXPECT_FALSE(returned);
  EXPECT_EQ(0u, thread->ExitCode());
}

TEST_F(SerialLink, UnplugDuringAFrameThrowsDisconnected) {
  Plug(3);
  ASSERT_TRUE(device_.Open(3));
  std::atomic<bool> disconnected{false};
  std::atomic<bool> ranOn{false};
  std::thread job([&] {
    try {
      std::vector<std::uint8_t> frame(131072, 0x5A);
      SendBytes(link_, frame.data(), static_cast<DWORD>(frame.size()));
      CheckResponse(link_, 0);
      ranOn = true;
    } catch (const LinkDisconnected&) {
      disconnected = true;
    }
  });
  std::string half(65536, '\0');
  ASSERT_TRUE(far_.ReadExact(half.data(), half.size(), never_));
  far_.Close();
  job.join();
  EXPECT_TRUE(disconnected);
  EXPECT_FALSE(ranOn);
  EXPECT_TRUE(events_.Errors().empty());  // the one who runs the link reports it
}

}  // namespace
