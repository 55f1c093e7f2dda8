// SPDX-License-Identifier: Apache-2.0
#include "link/image_read.h"

#include "link/link_report.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"

bool ReportImageChanged(LinkSession& link, const tarn::platform::CFileMapping& mapping) {
  if (GetLastError() != tarn::platform::kImageChangedError) return false;
  ReportError(link, L"e - the image changed while it was being sent: %ls",
              tarn::platform::Widen(mapping.Name()).c_str());
  return true;
}

void LogImageReadFailure(LinkSession& link, const tarn::platform::CFileMapping& mapping) {
  if (ReportImageChanged(link, mapping)) return;
  TLOG_SLOT(link.slot, L"Error MapViewOfFile (%d)\n", static_cast<int>(GetLastError()));
}
