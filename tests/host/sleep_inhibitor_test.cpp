// SPDX-License-Identifier: Apache-2.0
// The sleep inhibitor against a private message bus of the test's own, on
// which the test plays the login manager.
#include "host/sleep_inhibitor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/debug_output.h"
#include "tests/testsupport/temp_dir.h"

namespace {

// How long the test waits for the bus to come up or for the lock's release
// (real milliseconds); both normally take a few.
constexpr int kBusWaitMs = 5000;
// How often the fake login manager looks whether the test is over.
constexpr std::uint64_t kServePollUs = 10000;

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::filesystem::path candidate = std::filesystem::path(rest.substr(0, colon)) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return {};
}

// A dbus-daemon of the test's own; its address, or an empty one when none could start.
class PrivateBus {
 public:
  PrivateBus() {
    const std::string daemon = FindOnPath("dbus-daemon");
    int out[2];
    if (daemon.empty() || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      // Its complaints about limits it may not raise here are no test output.
      const int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) dup2(quiet, STDERR_FILENO);
      execl(daemon.c_str(), "dbus-daemon", "--session", "--nofork", "--print-address", nullptr);
      _exit(127);
    }
    close(out[1]);
    pollfd ready{out[0], POLLIN, 0};
    char line[512] = {};
    if (poll(&ready, 1, kBusWaitMs) == 1) {
      const ssize_t got = read(out[0], line, sizeof line - 1);
      if (got > 0) address_.assign(line, static_cast<std::size_t>(got));
    }
    close(out[0]);
    while (!address_.empty() && address_.back() == '\n') address_.pop_back();
  }
  ~PrivateBus() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// Owns the login manager's name on the bus and answers Inhibit with the
// write end of a pipe: the read end sees end-of-file once every copy of the
// lock's descriptor is closed.
class FakeLoginManager {
 public:
  explicit FakeLoginManager(const std::string& address) {
    sd_bus_new(&bus_);
    sd_bus_set_address(bus_, address.c_str());
    sd_bus_set_bus_client(bus_, 1);
    ok_ = sd_bus_start(bus_) >= 0 &&
          sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", kVtable,
                                   this) >= 0 &&
          sd_bus_request_name(bus_, "org.freedesktop.login1", 0) >= 0;
    if (ok_) thread_ = std::thread([this] { Serve(); });
  }
  ~FakeLoginManager() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
    if (lockEnd_ >= 0) close(lockEnd_);
  }
  bool Ok() const { return ok_; }
  std::vector<std::string> Arguments() {
    std::lock_guard<std::mutex> hold(lock_);
    return arguments_;
  }
  int LockEnd() {
    std::lock_guard<std::mutex> hold(lock_);
    return lockEnd_;
  }

 private:
  static int OnInhibit(sd_bus_message* call, void* self, sd_bus_error*) {
    return static_cast<FakeLoginManager*>(self)->Inhibit(call);
  }
  int Inhibit(sd_bus_message* call) {
    const char* field[4] = {};
    const int r = sd_bus_message_read(call, "ssss", &field[0], &field[1], &field[2], &field[3]);
    if (r < 0) return r;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
    {
      std::lock_guard<std::mutex> hold(lock_);
      arguments_.assign(field, field + 4);
      lockEnd_ = ends[0];
    }
    // The reply carries its own copy of the write end.
    const int sent = sd_bus_reply_method_return(call, "h", ends[1]);
    close(ends[1]);
    return sent;
  }
  void Serve() {
    while (!stop_) {
      const int r = sd_bus_process(bus_, nullptr);
      if (r < 0) return;
      if (r == 0) sd_bus_wait(bus_, kServePollUs);
    }
  }

  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Inhibit", "ssss", "h", OnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  sd_bus* bus_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> arguments_;
  int lockEnd_ = -1;
};

// The log records written while it lives.
class LogRecords {
 public:
  LogRecords() {
    previous_ = tarn::platform::SetDebugOutputSink([this](std::string_view record) {
      std::lock_guard<std::mutex> hold(lock_);
      records_.emplace_back(record);
    });
  }
  ~LogRecords() { tarn::platform::SetDebugOutputSink(previous_); }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(records_, {});
  }

 private:
  tarn::platform::DebugSink previous_;
  std::mutex lock_;
  std::vector<std::string> records_;
};

TEST(SleepInhibitor, HeldForTheBatchAndReleasedAtItsEnd) {
  PrivateBus bus;
  if (bus.Address().empty()) GTEST_SKIP() << "no dbus-daemon could be started for a private bus";
  FakeLoginManager manager(bus.Address());
  ASSERT_TRUE(manager.Ok());
  {
    tarn::host::SleepInhibitor inhibitor(3, bus.Address());
    EXPECT_TRUE(inhibitor.Held());
    EXPECT_EQ(manager.Arguments(),
              (std::vector<std::string>{"sleep:idle", "Tarn Multi Downloader", "Flashing 3 phones", "block"}));
    ASSERT_GE(manager.LockEnd(), 0);
    pollfd end{manager.LockEnd(), POLLIN, 0};
    EXPECT_EQ(poll(&end, 1, 0), 0) << "the lock's descriptor was closed while the batch runs";
  }
  pollfd end{manager.LockEnd(), POLLIN, 0};
  ASSERT_EQ(poll(&end, 1, kBusWaitMs), 1) << "the lock outlives the batch";
  char byte;
  EXPECT_EQ(read(manager.LockEnd(), &byte, 1), 0);
}

TEST(SleepInhibitor, WithoutBusOrLoginManagerLogsOnceAndGoesOn) {
  LogRecords log;
  tarn::test::TempDir dir;
  const std::string noBus = "unix:path=" + (dir.Path() / "no-bus").string();
  EXPECT_FALSE(tarn::host::SleepInhibitor(2, noBus).Held());
  std::vector<std::string> records = log.Take();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find("Sleep is not held off (no bus)"), std::string::npos) << records[0];

  PrivateBus bus;
  if (bus.Address().empty()) GTEST_SKIP() << "no dbus-daemon could be started for a private bus";
  EXPECT_FALSE(tarn::host::SleepInhibitor(2, bus.Address()).Held());
  records = log.Take();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find("Sleep is not held off (no login manager)"), std::string::npos) << records[0];
}

}  // namespace
