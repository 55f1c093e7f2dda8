// SPDX-License-Identifier: Apache-2.0
// Device-change notifications for serial ports: watches the serial-port map's
// SERIALCOMM folder and reports each port that appears in it or leaves it.
//
// Folder events coalesce and carry no names we can trust, so every event
// leads to a full rescan that is compared with the last one. The folder (or
// the whole map) may be deleted and created again; the watch is re-armed
// whenever that happens, and a slow timer re-arms it when no event can.
#pragma once

#include <map>
#include <string>

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace tarn::window {

class CPortWatcher : public QObject {
  Q_OBJECT

 public:
  // The map as it is now is the starting point: only later changes are reported.
  explicit CPortWatcher(QObject* parent = nullptr);

  // Reads the map and reports the differences to the last read: removals
  // first, so that a port moving to another entry is freed before it returns.
  void Rescan();

  static constexpr int kRearmIntervalMs = 500;

 signals:
  void PortArrived(const QString& portName);
  void PortRemoved(const QString& portName);

 private:
  // Watches what exists of the map; true when a watch was added.
  bool Rearm();
  void OnTimer();

  QFileSystemWatcher m_watcher;
  QTimer m_rearmTimer;
  std::map<std::string, std::string> m_known;  // entry name -> port name
};

}  // namespace tarn::window
