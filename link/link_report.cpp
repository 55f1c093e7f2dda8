// SPDX-License-Identifier: Apache-2.0
#include "link/link_report.h"

#include <cstdarg>
#include <string>

#include "link/link_events.h"
#include "platform/text.h"

namespace {
constexpr std::size_t kTextBuffer = 512;
}  // namespace

void ReportStatus(LinkSession& link, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  link.events.OnText(text.c_str());
}

void ReportError(LinkSession& link, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  link.events.OnError(text.c_str());
}

int PercentOf(double done, double total) {
  if (total == 0.0) return 0;
  return static_cast<int>(static_cast<long long>(done * 100.0 / total));
}

void ReportOverallProgress(LinkSession& link, int file) {
  link.events.OnProgress(PercentOf(link.progressDone, link.progressTotal), file);
}
