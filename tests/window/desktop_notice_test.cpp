// SPDX-License-Identifier: Apache-2.0
// The desktop notification at the end of a batch, on a session bus of the
// test's own (dbus-daemon) where the test answers as the notification service.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "tests/window/window_fixture.h"

extern char** environ;

using namespace tarn::window;

namespace tarn::test {
namespace {

// Bound for jobs on a port that is no phone to give up, on a busy machine.
constexpr int kThreadsEndMs = 60000;
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The notification service: records the summary and body of every Notify.
class FakeNotifications : public QDBusVirtualObject {
 public:
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QStringLiteral("Notify") || message.arguments().size() != 8) return false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      notices_.push_back(message.arguments()[3].toString() + QStringLiteral(": ") + message.arguments()[4].toString());
    }
    connection.send(message.createReply(QVariant::fromValue(1u)));
    return true;
  }
  QString introspect(const QString&) const override { return {}; }
  std::vector<QString> Notices() {
    std::lock_guard<std::mutex> guard(lock_);
    return notices_;
  }

 private:
  std::mutex lock_;
  std::vector<QString> notices_;
};

class WindowNoticeTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS")) savedAddress_ = address;
    StartBus();
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("notice-service"));
    WindowTest::TearDown();
    if (bus_ > 0) {
      kill(bus_, SIGTERM);
      waitpid(bus_, nullptr, 0);
    }
    if (savedAddress_.empty()) {
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
    } else {
      setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_.c_str(), 1);
    }
  }

  // A bus daemon with no service to start on demand, listening in the test's folder.
  void StartBus() {
    const auto config = dir_->Path() / "bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:dir=" << dir_->Path().string()
                          << "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                          << "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string configArg = "--config-file=" + config.string();
    const char* argv[] = {"dbus-daemon", configArg.c_str(), "--nofork", "--print-address", nullptr};
    const int spawned = posix_spawnp(&bus_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    ASSERT_EQ(spawned, 0) << "dbus-daemon";
    std::string address;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') address.push_back(c);
    close(out[0]);
    ASSERT_FALSE(address.empty());
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  }

  // Both jobs of OpenWithTwoPorts give up; the six empty slots count for nothing.
  void RunBatch(CKelpa3MultiDlg& window) {
    window.OnStart();
    ASSERT_TRUE(window.InBatch());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  }

  pid_t bus_ = 0;
  std::string savedAddress_;
};

TEST_F(WindowNoticeTest, BatchEndNotifiesOnceOnlyWhenTheWindowIsNotActive) {
  CKelpa3MultiDlg& window = OpenWithTwoPorts();
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

  // No service on the bus: the batch ends all the same, and no dialog opens.
  RunBatch(window);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  FakeNotifications service;
  QDBusConnection serving = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                          QStringLiteral("notice-service"));
  ASSERT_TRUE(serving.isConnected()) << serving.lastError().message().toStdString();
  ASSERT_TRUE(serving.registerVirtualObject(kPath, &service));
  ASSERT_TRUE(serving.registerService(kService));

  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  RunBatch(window);

  // Slot 1 leaves: this batch's notice differs from one the active window's
  // batch would have sent, and comes after it (one sender's messages keep their order).
  window.RemoveDevice("COM4");
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  RunBatch(window);
  const QString expected = QStringLiteral("Batch ended: 0 passed, 1 failed, 0 stopped");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const std::vector<QString> notices = service.Notices();
        return std::find(notices.begin(), notices.end(), expected) != notices.end();
      },
      kThreadsEndMs));
  EXPECT_EQ(service.Notices().size(), 1u);
}

}  // namespace
}  // namespace tarn::test
