// SPDX-License-Identifier: Apache-2.0
#include "engine/kelpa3_engine.h"

#include <cstdarg>
#include <string>

#include "engine/checksum.h"
#include "engine/events.h"
#include "link/link_report.h"
#include "link/link_stopped.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "support/log.h"

using tarn::platform::GetMainWindow;

namespace {
constexpr std::size_t kTextBuffer = 512;
constexpr const wchar_t* kErrorWasReported = L"e - an error was reported during the download; the job did not pass";
}  // namespace

CKelpa3Engine::CKelpa3Engine() = default;

CKelpa3Engine::~CKelpa3Engine() { ReleaseResources(); }

void CKelpa3Engine::FreeMembers() { m_members.clear(); }

void CKelpa3Engine::ReleaseResources() {
  m_digestAhead.End();
  m_pEarlyImage.reset();
  FreeMembers();
  m_device.Close();
}

LinkSession CKelpa3Engine::Link(const JobDescription& task, const RunState& run) {
  LinkSession link = ReportingLink();
  link.loaderVersion = run.loaderVersion;
  link.options.npsMode = task.options.bNpsMode == 1;
  link.options.platform = run.platform;
  link.options.csaClear = task.options.bCsaClear == 1;
  link.options.phoneBootUpdate = task.options.bPhoneBootUpdate != 0;
  link.options.phoneEfsClear = task.options.bPhoneEfsClear != 0;
  link.stopRequested = &m_bStopAtBoundary;
  return link;
}

LinkSession CKelpa3Engine::ReportingLink() {
  LinkSession link{m_device, *this, m_security, m_dwProgressDone, m_dwProgressTotal};
  link.slot = m_nIndex;
  return link;
}

// --- Events to the host ---

void CKelpa3Engine::PostText(int value, const wchar_t* text) {
  const LPARAM lParam = m_options.bNpsMode ? static_cast<LPARAM>(value) : static_cast<LPARAM>(m_nIndex);
  SendMessageW(GetMainWindow(), WM_JOB_TEXT, reinterpret_cast<WPARAM>(text), lParam);
}

void CKelpa3Engine::PostError(const wchar_t* text) {
  if (m_pszFailure == nullptr) m_pszFailure = kErrorWasReported;
  SendMessageW(GetMainWindow(), WM_JOB_ERROR, reinterpret_cast<WPARAM>(text), static_cast<LPARAM>(m_nIndex));
  if (m_options.bNpsMode) {
    TLOG_SLOT(m_nIndex, L"NPS mode. Event is ignored.\n");
    return;
  }
  TLOG_SLOT(m_nIndex, L"===> EVENT %ls\n", L"Error");
  SendMessageW(GetMainWindow(), WM_JOB_STATE, static_cast<WPARAM>(m_nIndex), static_cast<LPARAM>(STATE_ERROR));
}

void CKelpa3Engine::ReportStatus(int value, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  PostText(value, text.c_str());
}

void CKelpa3Engine::ReportError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = tarn::platform::VFormatW(kTextBuffer, format, args);
  va_end(args);
  PostError(text.c_str());
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

void CKelpa3Engine::AbortOnDisconnect() {
  ReportError(L"e - usb is disconnected!!");
  ReportStatus(0, L"thread will be terminated.");
  ReleaseResources();
  tarn::platform::EndThisThread(0);
}

void CKelpa3Engine::ReportStopped() {
  ReportError(L"%ls", kJobStoppedText);
  ReportStatus(0, L"thread will be terminated.");
}

void CKelpa3Engine::StopIfRequested() const {
  if (m_bStopAtBoundary.load()) throw LinkStopped{};
}

// --- The link's events ---

void CKelpa3Engine::OnText(const wchar_t* text) { PostText(0, text); }

void CKelpa3Engine::OnError(const wchar_t* text) { PostError(text); }

void CKelpa3Engine::OnProgress(int overall, int file) { ReportProgress(overall, file); }

void CKelpa3Engine::OnPhoneUpdate() { FireState(STATE_PHONE_UPDATE, L"Phone Update start"); }

bool CKelpa3Engine::DigestPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size, char* text) {
  return ChecksumRange(size, *this, mapping, offset, text);
}

void CKelpa3Engine::DigestNextPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size) {
  m_digestAhead.Ask(mapping, offset, size);
}
