// SPDX-License-Identifier: Apache-2.0
// Port discovery and attach / detach: which ports of the serial-port map are
// phones, which slot each one takes, and the automatic restart of a job on a
// phone that comes back during a Boot Format batch.
#include <string>

#include <QLabel>

#include "platform/devicemap.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

using tarn::platform::ParseComNumber;

int PortNumberOfName(const QString& name) { return ParseComNumber(name.toStdString()); }

}  // namespace

void CKelpa3MultiDlg::ScanSerialPorts() {
  const auto entries = tarn::platform::ReadSerialComm();
  for (int i = 0; i < tarn::platform::kValueIndexCount; ++i) {
    const auto data = tarn::platform::QuerySerialComm(entries,
                                                      tarn::platform::MakeValueName(tarn::platform::ValueKind::Dm, i));
    if (!data) continue;
    const int n = ParseComNumber(*data);
    TLOG_WINDOW(L">>>>> qxcdmdm%d COM%d\n", i, n);
    AddDevice(QString::fromStdString(tarn::platform::MakePortName(n)));
  }
}

bool CKelpa3MultiDlg::IsPhoneModemPort(int n) const {
  // One read of the map per call, without holding up the window for every
  // index: any phone entry, "dm" or "em", that holds the port.
  if (n == 0) return false;  // what an entry that names no port reads as
  for (const auto& entry : tarn::platform::ReadSerialComm()) {
    if (tarn::platform::ParseValueName(entry.name) && ParseComNumber(entry.port) == n) return true;
  }
  return false;
}

int CKelpa3MultiDlg::AddDevice(const QString& name) {
  const int n = PortNumberOfName(name);
  if (n == 0) {
    TLOG_WINDOW(L"AddDevice : Unknown PORT\n");
    return -1;
  }
  if (m_nPortCount == kSlotCount) {
    TLOG_WINDOW(L"Pass. Count %d\n", m_nPortCount);
    return -1;
  }
  if (!IsPhoneModemPort(n)) {
    TLOG_WINDOW(L"COM%d is not Moravex Mobile Modem!!\n", n);
    return -1;
  }
  for (int port : m_nPort) {
    if (port == n) {
      TLOG_WINDOW(L"COM%d already added.\n", n);
      return -1;
    }
  }
  LogReadyString(QStringLiteral("ADDED ") + name);
  // During a Boot Format batch a phone back from its format goes to its own
  // slot; any other phone takes the lowest free slot, and gets a job too.
  const bool restarts = m_batch.TakesArrivals() && !m_closed;
  int slot = restarts ? m_batch.SlotForArrival(n) : -1;
  if (slot < 0 || m_nPort[slot] != -1) {
    slot = 0;
    while (m_nPort[slot] != -1) ++slot;
  }
  m_nPort[slot] = n;
  ++m_nPortCount;
  static_cast<QLabel*>(Control(IDC_PORT_LABEL0 + slot))->setText(name);

  if (restarts) {
    m_batch.Restart(slot, n);
    SchedulePoll();
  }
  return 0;
}

int CKelpa3MultiDlg::RemoveDevice(const QString& name) {
  const int n = PortNumberOfName(name);
  if (n == 0) {
    TLOG_WINDOW(L"RemoveDevice : Unknown PORT\n");
    return -1;
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (m_nPort[slot] != n) continue;
    TLOG_WINDOW(L"REMOVED Port %d(%d)\n", n, slot);
    if (m_batch.CancelRestart(slot)) TLOG_WINDOW(L"Slot %d: its phone left before its job started\n", slot);
    m_nPort[slot] = -1;
    --m_nPortCount;
    static_cast<QLabel*>(Control(IDC_PORT_LABEL0 + slot))->setText(QString());
    break;
  }
  return 0;
}

void CKelpa3MultiDlg::OnDeviceArrival(const QString& name) {
  TLOG_WINDOW(L"[ DC ] Added\n");
  AddDevice(name);
}

void CKelpa3MultiDlg::OnDeviceRemoval(const QString& name) {
  TLOG_WINDOW(L"[ DC ] Removed\n");
  RemoveDevice(name);
}
