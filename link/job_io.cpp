// SPDX-License-Identifier: Apache-2.0
#include "link/job_io.h"

#include "engine/kelpa3_engine.h"
#include "link/usb_device.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "platform/thread.h"
#include "support/log.h"

int SendBytes(CKelpa3Engine& job, const void* buffer, DWORD count) {
  if (job.m_device.Send(buffer, count)) return 1;
  const DWORD code = GetLastError();
  TLOG_FILE("./Kelpa3Engine", L"Write Error %d\n", static_cast<int>(code));
  if (code == ERROR_ACCESS_DENIED) AbortOnDisconnect(job);
  return 0;
}

DWORD ReceiveBytes(CKelpa3Engine& job, void* destination, DWORD count) {
  const DWORD received = job.m_device.Receive(destination, count);
  if (received == 0) {
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED) AbortOnDisconnect(job);
    if (code == tarn::platform::kErrorTimeout) {
      job.ReportStatus(0, L"e - the phone did not answer within %d seconds.",
                       static_cast<int>(kFirstByteTimeoutMs / 1000));
      SetLastError(code);
    }
  }
  return received;
}

void AbortOnDisconnect(CKelpa3Engine& job) {
  job.ReportError(L"e - usb is disconnected!!");
  job.ReportStatus(0, L"thread will be terminated.");
  job.ReleaseResources();
  tarn::platform::EndThisThread(0);
}
