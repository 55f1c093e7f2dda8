// SPDX-License-Identifier: Apache-2.0
#include "window/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

namespace tarn::window {

namespace {

// A connection of its own: its bus is looked up afresh when the last one was
// lost, and nothing of it is shared with the toolkit's own use of the bus.
const QString kConnection = QStringLiteral("tarn-desktop-notice");
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kShowForDefault = -1;  // the service's own time

QDBusConnection SessionBus() {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection);
  if (bus.isConnected()) return bus;
  QDBusConnection::disconnectFromBus(kConnection);
  return QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection);
}

}  // namespace

BatchCounts CountOutcomes(const tarn::host::BatchController& batch) {
  BatchCounts counts;
  for (int slot = 0; slot < batch.SlotCount(); ++slot) {
    // A slot that took part has an end; the others were never started.
    if (batch.Ended(slot) == std::chrono::steady_clock::time_point{}) continue;
    switch (batch.Result(slot)) {
      case tarn::host::SlotResult::Passed: ++counts.passed; break;
      case tarn::host::SlotResult::Failed: ++counts.failed; break;
      case tarn::host::SlotResult::Stopped: ++counts.stopped; break;
    }
  }
  return counts;
}

QString NoticeText(const BatchCounts& counts) {
  return QStringLiteral("%1 passed, %2 failed, %3 stopped").arg(counts.passed).arg(counts.failed).arg(counts.stopped);
}

void NoticeBatchEnd(const QWidget& window, const tarn::host::BatchController& batch) {
  if (window.isActiveWindow()) return;
  QDBusConnection bus = SessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarn-multi-downloader"));
  notify << QStringLiteral("Tarn Multi Downloader") << 0u << QStringLiteral("tarn-multi-downloader")
         << QStringLiteral("Batch ended") << NoticeText(CountOutcomes(batch)) << QStringList() << hints
         << kShowForDefault;
  // Sent without waiting: the answer (or the bus's "no such service") is dropped.
  notify.setAutoStartService(true);
  bus.send(notify);
}

}  // namespace tarn::window
