// SPDX-License-Identifier: Apache-2.0
// The window's settings loader over arbitrary INI files: never a crash, and
// the nation it selects always lies in the nation list or is -1; and a file
// the encoded-value check lets through is read by the toolkit as text only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <QApplication>
#include <QByteArray>
#include <QSettings>
#include <QVariant>

#include "engine/tables.h"
#include "tests/fuzz/fuzz_support.h"
#include "window/saved_settings.h"
#include "window/settings_file_check.h"

namespace {

std::string g_folder;
std::string g_file;
long g_count = 0;

// Text, a list of texts, or no value (an empty key reads as none). A list
// that holds a lone "@" comes back as a list of variants, still texts.
bool TextOnly(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QStringList:
    case QMetaType::UnknownType: return true;
    case QMetaType::QVariantList:
      for (const QVariant& element : value.toList()) {
        if (element.typeId() != QMetaType::QString) return false;
      }
      return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  tarn::fuzz::SilenceLog();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  g_folder = tarn::fuzz::ScratchFolder("settings");
  g_file = g_folder + "/Tarn/settings.ini";
  ::setenv("XDG_CONFIG_HOME", g_folder.c_str(), 1);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(g_folder));
  ::mkdir((g_folder + "/Tarn").c_str(), 0700);
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  new QApplication(*argc, *argv);  // one for the whole run
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The same file each time, so that the toolkit's cache of parsed files
  // keeps one entry: a cache that grows with every input looks like a leak
  // and has every input rerun under the leak checker. The cache takes a file
  // of the same size and time stamp for the one it parsed before, so each
  // input's file gets a time stamp of its own.
  std::ofstream(g_file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const time_t second = ++g_count;
  const timespec stamp[2] = {{second, 0}, {second, 0}};
  if (::utimensat(AT_FDCWD, g_file.c_str(), stamp, 0) != 0) std::abort();
  {
    QSettings settings(QString::fromStdString(g_file), QSettings::IniFormat);
    const tarn::window::SavedSettings saved = tarn::window::ReadSavedSettings(settings);
    for (int count = 0; count <= kNationCount; ++count) {
      const int nation = tarn::window::NationIndex(saved, count);
      if (nation < -1 || nation >= count) std::abort();
    }
  }
  if (!tarn::window::HoldsEncodedValue(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))) {
    QSettings settings(QString::fromStdString(g_file), QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) {
      if (!TextOnly(settings.value(key))) std::abort();
    }
  }
  return 0;
}
