// SPDX-License-Identifier: Apache-2.0
#include "link/byte_io.h"

#include "link/link_disconnected.h"
#include "link/link_stopped.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "link/usb_device.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "support/log.h"

std::int32_t SendBytes(LinkSession& link, const void* buffer, DWORD count) {
  if (link.device.Send(buffer, count)) return RESULT_OK;
  const DWORD code = link.device.LastError();
  TLOG_FILE("./Kelpa3Engine", L"Write Error %d\n", static_cast<int>(code));
  if (code == ERROR_ACCESS_DENIED) throw LinkDisconnected{};
  return RESULT_FAIL;
}

DWORD ReceiveBytes(LinkSession& link, void* destination, DWORD count) {
  const DWORD received = link.device.Receive(destination, count);
  if (received == 0) {
    const DWORD code = link.device.LastError();
    if (code == ERROR_ACCESS_DENIED) throw LinkDisconnected{};
    if (code == tarn::platform::kErrorTimeout) {
      const int seconds = static_cast<int>(link.device.AnswerTimeoutMs() / 1000);
      ReportStatus(link, L"e - the phone did not answer within %d second%ls.", seconds, seconds == 1 ? L"" : L"s");
    }
  }
  return received;
}

void StopIfRequested(const LinkSession& link) {
  if (link.stopRequested != nullptr && link.stopRequested->load()) throw LinkStopped{};
}
