// SPDX-License-Identifier: Apache-2.0
#include "tests/window/window_fixture.h"

#include <cstdlib>
#include <fstream>

#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QSettings>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/devicemap.h"
#include "tests/testsupport/test_images.h"

namespace tarn::test {

std::optional<QString> FakeFilePicker::PickFile(QWidget*, const QString& initialFile, const QString& filter) {
  lastInitialFile = initialFile;
  lastFilter = filter;
  if (answers.empty()) return std::nullopt;
  const bool chosen = answers.front().has_value();
  const QString path = chosen ? *answers.front() : QString();
  answers.pop_front();
  if (!chosen) return std::nullopt;
  return path;
}

void WindowTest::SetUpTestSuite() {
  // gtest_main owns main(): the one application object is made here and kept.
  if (QApplication::instance()) return;
  // Two screens side by side: the desk takes the window as it is laid out,
  // the small one (right of it) does not.
  const std::string screens =
      (std::filesystem::temp_directory_path() / ("tarn-window-screens-" + std::to_string(getpid()) + ".json")).string();
  std::ofstream(screens) << R"({"screens": [)"
                         << R"({"name": "desk", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96},)"
                         << R"({"name": "small", "x": 1920, "y": 0, "width": 800, "height": 600, "logicalDpi": 96}]})";
  static std::string platform = "offscreen:configfile=" + screens;
  static int argc = 3;
  static char name[] = "window_tests";
  static char option[] = "-platform";
  static char* argv[] = {name, option, platform.data(), nullptr};
  new QApplication(argc, argv);
  std::filesystem::remove(screens);  // read as the platform started
}

QScreen* WindowTest::Screen(const char* name) {
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->name() == QLatin1String(name)) return screen;
  }
  return nullptr;
}

void WindowTest::SetUp() {
  // Jobs a test starts on ports that are no phones give up on the test clock.
  tarn::platform::SetClockScale(kWindowTestClockScale);
  dir_ = std::make_unique<TempDir>();
  setenv("TARN_DEVICEMAP", (dir_->Path() / "map").c_str(), 1);
  std::filesystem::create_directories(dir_->Path() / "map" / "SERIALCOMM");
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString((dir_->Path() / "settings").string()));
  tarn::platform::SetDebugOutputSink([this](std::string_view record) {
    std::lock_guard<std::mutex> guard(logLock_);
    log_.emplace_back(record);
  });
}

void WindowTest::TearDown() {
  window_.reset();
  tarn::platform::SetDebugOutputSink({});
  unsetenv("TARN_DEVICEMAP");
  dir_.reset();
  tarn::platform::SetClockScale(1.0);
}

CKelpa3MultiDlg& WindowTest::OpenWindow() {
  if (!window_) {
    auto picker = std::make_unique<FakeFilePicker>();
    picker_ = picker.get();
    auto confirmer = std::make_unique<FakeCloseConfirmer>();
    confirmer_ = confirmer.get();
    window_ = std::make_unique<CKelpa3MultiDlg>(std::move(picker), std::move(confirmer));
  }
  return *window_;
}

CKelpa3MultiDlg& WindowTest::OpenWithTwoPorts() {
  RegisterPort("qxcdmdm0", 3);
  RegisterPort("qxcdmdm1", 4);
  CKelpa3MultiDlg& window = OpenWindow();
  const auto modem = dir_->Path() / "modem.bin";
  WriteBytes(modem, std::vector<unsigned char>(1000, 1));
  window.AddImageFile(QString::fromStdString(modem.string()), IMAGE_MASK_PHONE);
  return window;
}

void WindowTest::CloseWindow() {
  window_->close();
  window_.reset();
  picker_ = nullptr;
  confirmer_ = nullptr;
}

void WindowTest::RegisterPort(const std::string& name, int com) {
  ASSERT_TRUE(tarn::platform::RegisterPort(name, com, "/dev/null"));
}

void WindowTest::UnregisterPort(const std::string& name, int com) {
  ASSERT_TRUE(tarn::platform::UnregisterPort(name, com));
}

int WindowTest::CountLogged(const std::string& fragment) const {
  std::lock_guard<std::mutex> guard(logLock_);
  int count = 0;
  for (const std::string& record : log_) count += record.find(fragment) != std::string::npos ? 1 : 0;
  return count;
}

void WindowTest::ClearLog() {
  std::lock_guard<std::mutex> guard(logLock_);
  log_.clear();
}

QString WindowTest::PortLabel(int slot) const {
  return static_cast<QLabel*>(window_->Control(tarn::window::IDC_PORT_LABEL0 + slot))->text();
}

}  // namespace tarn::test
