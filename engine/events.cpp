// SPDX-License-Identifier: Apache-2.0
#include "engine/events.h"

#include <cstdarg>
#include <string>

#include "engine/kelpa3_engine.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "support/log.h"

using tarn::platform::GetMainWindow;

namespace {
constexpr std::size_t kTextBuffer = 512;
constexpr const wchar_t* kErrorWasReported = L"e - an error was reported during the download; the job did not pass";
}  // namespace

int PercentOf(double done, double total) {
  if (total == 0.0) return 0;
  return static_cast<int>(static_cast<long long>(done * 100.0 / total));
}

void CKelpa3Engine::ReportStatus(int value, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  const LPARAM lParam = m_options.bNpsMode ? static_cast<LPARAM>(value) : static_cast<LPARAM>(m_nIndex);
  SendMessageW(GetMainWindow(), WM_JOB_TEXT, reinterpret_cast<WPARAM>(text.c_str()), lParam);
}

void CKelpa3Engine::ReportError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  if (m_pszFailure == nullptr) m_pszFailure = kErrorWasReported;
  SendMessageW(GetMainWindow(), WM_JOB_ERROR, reinterpret_cast<WPARAM>(text.c_str()), static_cast<LPARAM>(m_nIndex));
  if (m_options.bNpsMode) {
    TLOG_SLOT(m_nIndex, L"NPS mode. Event is ignored.\n");
    return;
  }
  TLOG_SLOT(m_nIndex, L"===> EVENT %ls\n", L"Error");
  SendMessageW(GetMainWindow(), WM_JOB_STATE, static_cast<WPARAM>(m_nIndex), static_cast<LPARAM>(STATE_ERROR));
}

void CKelpa3Engine::FireState(int code, const wchar_t* logName) {
  TLOG_SLOT(m_nIndex, L"##### Event ##### index %d, Event %d\n", static_cast<int>(m_nIndex), code);
  if (m_options.bNpsMode) {
    TLOG_SLOT(m_nIndex, L"NPS mode. Event is ignored.\n");
    return;
  }
  TLOG_SLOT(m_nIndex, L"===> EVENT %ls\n", logName);
  SendMessageW(GetMainWindow(), WM_JOB_STATE, static_cast<WPARAM>(m_nIndex), static_cast<LPARAM>(code));
}

void CKelpa3Engine::ReportProgress(int overall, int file) {
  if (m_options.bNpsMode) {
    SendMessageW(GetMainWindow(), WM_JOB_PROGRESS, static_cast<WPARAM>(overall), 0);
    return;
  }
  SendMessageW(GetMainWindow(), WM_JOB_PROGRESS, PackProgress(m_nIndex, m_nPort, file, overall), 0);
}

void CKelpa3Engine::SendFiles() {
  SendMessageW(GetMainWindow(), WM_JOB_FILES, static_cast<WPARAM>(m_wFilesTotal), static_cast<LPARAM>(m_wFilesDone));
}

void CKelpa3Engine::ReportOverallProgress(int file) {
  ReportProgress(PercentOf(m_dwProgressDone, m_dwProgressTotal), file);
}

void CKelpa3Engine::FireError() { FireState(STATE_ERROR, L"Error"); }
