// SPDX-License-Identifier: Apache-2.0
#include "support/log.h"

#include <cstdarg>

#include "platform/debug_output.h"
#include "platform/text.h"

using tarn::platform::CCriticalSection;

CCriticalSection g_csLog;
std::wstring g_strLogLine;

namespace {

constexpr std::size_t kNarrowBuffer = 512;
constexpr std::size_t kWideBuffer = 1024;

void WriteOutAndLeave() {
  OutputDebugStringW(g_strLogLine.c_str());
  g_strLogLine.clear();
  g_csLog.Leave();
}

}  // namespace

void LogBegin(const char* format, ...) {
  g_csLog.Enter();
  va_list args;
  va_start(args, format);
  const std::string prefix = tarn::platform::VFormatA(kNarrowBuffer, format, args);
  va_end(args);
  g_strLogLine += tarn::platform::Widen(prefix);
}

void LogEndW(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring body = tarn::platform::VFormatW(kWideBuffer, format, args);
  va_end(args);
  g_strLogLine += body.c_str();  // up to the terminating NUL
  WriteOutAndLeave();
}

void LogEndA(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string body = tarn::platform::VFormatA(kNarrowBuffer, format, args);
  va_end(args);
  g_strLogLine += tarn::platform::Widen(body).c_str();
  WriteOutAndLeave();
}

void LogEndText(std::wstring text) {
  g_strLogLine += text.c_str();
  WriteOutAndLeave();
}
