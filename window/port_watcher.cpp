// SPDX-License-Identifier: Apache-2.0
#include "window/port_watcher.h"

#include <filesystem>

#include "platform/devicemap.h"

namespace tarn::window {

namespace {

std::map<std::string, std::string> ReadMap() {
  std::map<std::string, std::string> entries;
  for (const auto& entry : tarn::platform::ReadSerialComm()) entries[entry.name] = entry.port;
  return entries;
}

}  // namespace

CPortWatcher::CPortWatcher(QObject* parent) : QObject(parent) {
  m_known = ReadMap();
  Rearm();
  connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
    Rearm();
    Rescan();
  });
  connect(&m_rearmTimer, &QTimer::timeout, this, &CPortWatcher::OnTimer);
  m_rearmTimer.start(kRearmIntervalMs);
}

bool CPortWatcher::Rearm() {
  namespace fs = std::filesystem;
  const fs::path root = tarn::platform::DeviceMapRoot();
  bool added = false;
  for (const fs::path& folder : {root, root / "SERIALCOMM"}) {
    std::error_code error;
    const QString path = QString::fromStdString(folder.string());
    if (fs::is_directory(folder, error) && !m_watcher.directories().contains(path)) {
      added = m_watcher.addPath(path) || added;
    }
  }
  return added;
}

void CPortWatcher::OnTimer() {
  if (Rearm()) Rescan();
}

void CPortWatcher::Rescan() {
  const std::map<std::string, std::string> now = ReadMap();
  std::map<std::string, std::string> before;
  before.swap(m_known);
  m_known = now;
  for (const auto& [name, port] : before) {
    auto it = now.find(name);
    if (it == now.end() || it->second != port) emit PortRemoved(QString::fromStdString(port));
  }
  for (const auto& [name, port] : now) {
    auto it = before.find(name);
    if (it == before.end() || it->second != port) emit PortArrived(QString::fromStdString(port));
  }
}

}  // namespace tarn::window
