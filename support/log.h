// SPDX-License-Identifier: Apache-2.0
// Diagnostic log: one record = one LogBegin (prefix) and one closing call
// (body) on the same thread. Records go out whole on the debugger output
// channel; records of different threads never interleave.
//
// g_csLog is always the last lock taken: callers may hold their own locks
// while they log, and the log takes no other lock while it holds g_csLog.
#pragma once

#include <string>

#include "platform/critical_section.h"
#include "platform/thread.h"

extern tarn::platform::CCriticalSection g_csLog;
extern std::wstring g_strLogLine;

// Enters g_csLog, formats the prefix (narrow, at most 511 characters) and
// appends it. Returns with the lock held.
void LogBegin(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats the body (wide, at most 1023 characters), writes the record, leaves g_csLog.
void LogEndW(const wchar_t* format, ...);
// As LogEndW with a narrow body (at most 511 characters).
void LogEndA(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends `text` unchanged (up to an embedded NUL), writes the record, leaves g_csLog.
void LogEndText(std::wstring text);

namespace tarn::log {
constexpr const char* kFilePrefix = "[Tarn2] [Thread 0x%04x] %s(%d) ";
constexpr const char* kSlotPrefix = "[Tarn2] [Thread 0x%04x] [  %d  ] (%d) ";
}  // namespace tarn::log

// Source-location form: `module` is the name the build records for the file.
#define TARN_LOG_BEGIN_FILE(module) \
  LogBegin(tarn::log::kFilePrefix, static_cast<unsigned>(tarn::platform::CurrentThreadId()), (module), __LINE__)
// Slot form: every record of a download job carries its slot index.
#define TARN_LOG_BEGIN_SLOT(slot)                                                                                    \
  LogBegin(tarn::log::kSlotPrefix, static_cast<unsigned>(tarn::platform::CurrentThreadId()), static_cast<int>(slot), \
           __LINE__)

// One whole record with a wide body.
#define TLOG_FILE(module, fmt, ...)          \
  do {                                       \
    TARN_LOG_BEGIN_FILE(module);             \
    LogEndW(fmt __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)
#define TLOG_SLOT(slot, fmt, ...)            \
  do {                                       \
    TARN_LOG_BEGIN_SLOT(slot);               \
    LogEndW(fmt __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)
