// SPDX-License-Identifier: Apache-2.0
// The window's settings loader over arbitrary INI files: never a crash, and
// the nation it selects always lies in the nation list or is -1.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <QApplication>
#include <QSettings>

#include "engine/tables.h"
#include "tests/fuzz/fuzz_support.h"
#include "window/saved_settings.h"

namespace {

std::string g_folder;
long g_count = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  tarn::fuzz::SilenceLog();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char pattern[] = "/tmp/tarn-fuzz-settings-XXXXXX";
  g_folder = ::mkdtemp(pattern);
  ::setenv("XDG_CONFIG_HOME", g_folder.c_str(), 1);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(g_folder));
  ::mkdir((g_folder + "/Tarn").c_str(), 0700);
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  new QApplication(*argc, *argv);  // one for the whole run
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A new name each time: the toolkit keeps parsed files by name and would
  // take a rewrite of the same size within one clock tick for the old file.
  const std::string path = g_folder + "/Tarn/settings-" + std::to_string(++g_count) + ".ini";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  {
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    const tarn::window::SavedSettings saved = tarn::window::ReadSavedSettings(settings);
    for (int count = 0; count <= kNationCount; ++count) {
      const int nation = tarn::window::NationIndex(saved, count);
      if (nation < -1 || nation >= count) std::abort();
    }
  }
  ::unlink(path.c_str());
  return 0;
}
