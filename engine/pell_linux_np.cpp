// SPDX-License-Identifier: Apache-2.0
#include "engine/pell_linux_np.h"

#include <cwchar>

#include "engine/job_thread.h"
#include "engine/kelpa3_engine.h"
#include "platform/text.h"
#include "support/log.h"

using tarn::platform::CopyCut;

namespace {
constexpr const char* kModule = "./PellLinuxNp";

static_assert(kDefaultAnswerTimeoutSeconds * 1000 == kFirstByteTimeoutMs);

void CopyPath(wchar_t* field, const wchar_t* path) { CopyCut(field, kImagePathChars, path ? path : L""); }

// The job StartJob starts: the settings as the host left them, the port and the slot.
JobDescription DescribeJob(const CKelpa3Engine& settings, std::int16_t port, std::int16_t slot) {
  JobDescription task;
  task.boot = {settings.m_szBootImage, settings.m_dwBootSize};
  task.pda = {settings.m_szPdaImage, settings.m_dwPdaSize};
  task.csc = {settings.m_szCscImage, settings.m_dwCscSize};
  task.phone = {settings.m_szPhoneImage, settings.m_dwPhoneSize};
  task.imageMask = settings.m_wImageMask;
  task.options = settings.m_options;
  task.totalSize = settings.m_nTotalSize;
  task.port = port;
  task.slot = slot;
  return task;
}
}  // namespace

CPellLinuxNp::CPellLinuxNp() : m_engine(std::make_unique<CKelpa3Engine>()) {}

CPellLinuxNp::~CPellLinuxNp() {
  // The job works on m_engine, so it must have ended before the context goes.
  // Every wait of a job honours a stop request, so this wait ends.
  if (!m_engine->m_pThread) return;
  m_engine->m_pThread->RequestStop();
  m_engine->m_pThread->WaitEnded();
}

bool CPellLinuxNp::JobThreadRuns() const { return m_engine->m_pThread && m_engine->m_pThread->IsRunning(); }

// A running job reads its context without locks, and a second job on it would
// share its port and member table: while the thread runs, nothing changes it.
bool CPellLinuxNp::RefusedWhileRunning(const wchar_t* operation) const {
  if (!JobThreadRuns()) return false;
  TLOG_FILE(kModule, L"%ls refused: the job of slot %d is still running\n", operation,
            static_cast<int>(m_engine->m_nIndex));
  return true;
}

std::int32_t CPellLinuxNp::Init(const wchar_t* /*name*/) {
  if (RefusedWhileRunning(L"Init")) return ENGINE_REFUSED;
  CKelpa3Engine& e = *m_engine;
  e.m_options = ENGINE_OPTIONS{};
  e.m_nPort = 0;
  e.m_wImageMask = 0;
  for (wchar_t* field : {e.m_szBootImage, e.m_szPdaImage, e.m_szCscImage, e.m_szSpareImage, e.m_szPhoneImage}) {
    field[0] = L'\0';
  }
  e.m_dwBootSize = e.m_dwPdaSize = e.m_dwCscSize = e.m_dwPhoneSize = 0;
  e.m_nTotalSize = 0;
  e.m_nIndex = 0;
  e.m_dwProgressTotal = e.m_dwProgressDone = 0;
  e.m_wFilesTotal = e.m_wFilesDone = 0;
  e.m_device.SetAnswerTimeout(kFirstByteTimeoutMs);
  e.m_dwState = ENGINE_STATE_READY;
  e.m_pThread.reset();
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::Close() {
  if (RefusedWhileRunning(L"Close")) return ENGINE_REFUSED;
  m_engine->ReleaseResources();
  m_engine->m_dwState = ENGINE_STATE_IDLE;
  m_engine->m_pThread.reset();
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetImageMask(std::uint16_t mask) {
  if (RefusedWhileRunning(L"SetImageMask")) return ENGINE_REFUSED;
  m_engine->m_wImageMask = mask;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::Reserved(std::int32_t, std::int32_t) { return ENGINE_OK; }

std::int32_t CPellLinuxNp::StartJob(std::int16_t port, std::int16_t slot) {
  if (m_engine->m_dwState != ENGINE_STATE_READY || RefusedWhileRunning(L"StartJob")) return ENGINE_REFUSED;
  m_engine->m_nPort = port;
  m_engine->m_nIndex = slot;
  m_engine->m_bStopAtBoundary = false;
  CKelpa3Engine* context = m_engine.get();
  m_engine->m_pThread = tarn::platform::CThread::Create(
      [context, task = DescribeJob(*m_engine, port, slot)] { return JobThreadProc(context, task); });
  if (!m_engine->m_pThread) {
    TLOG_FILE(kModule, L"cannot create the job thread\n");
    return ENGINE_REFUSED;
  }
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::StopJob() {
  if (m_engine->m_pThread) m_engine->m_pThread->RequestStop();
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::StopAtCommandBoundary() {
  m_engine->m_bStopAtBoundary = true;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::IsJobRunning(std::int16_t* running) {
  if (running == nullptr) return ENGINE_OK;
  *running = 0;
  if (JobThreadRuns()) *running = 1;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetOptions(const ENGINE_OPTIONS* options) {
  if (RefusedWhileRunning(L"SetOptions")) return ENGINE_REFUSED;
  m_engine->m_options = options ? *options : kDefaultEngineOptions;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetAnswerTimeout(std::int32_t seconds) {
  if (RefusedWhileRunning(L"SetAnswerTimeout")) return ENGINE_REFUSED;
  if (seconds < 1 || seconds > kMaxAnswerTimeoutSeconds) return ENGINE_REFUSED;
  m_engine->m_device.SetAnswerTimeout(static_cast<DWORD>(seconds) * 1000);
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::GetEngineName(wchar_t** buffer) {
  if (buffer && *buffer) std::wcscpy(*buffer, L"Tarn2");
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetTotalSize(std::int32_t bytes) {
  if (RefusedWhileRunning(L"SetTotalSize")) return ENGINE_REFUSED;
  m_engine->m_nTotalSize = bytes;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetPdaImage(const wchar_t* name, std::uint32_t size) {
  if (RefusedWhileRunning(L"SetPdaImage")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szPdaImage, name);
  m_engine->m_dwPdaSize = size;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetPhoneImage(const wchar_t* name, std::uint32_t size) {
  if (RefusedWhileRunning(L"SetPhoneImage")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szPhoneImage, name);
  m_engine->m_dwPhoneSize = size;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetBootImage(const wchar_t* name, std::uint32_t size) {
  if (RefusedWhileRunning(L"SetBootImage")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szBootImage, name);
  m_engine->m_dwBootSize = size;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetCscImage(const wchar_t* name, std::uint32_t size) {
  if (RefusedWhileRunning(L"SetCscImage")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szCscImage, name);
  m_engine->m_dwCscSize = size;
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetCscImage2(const wchar_t* name, std::uint32_t size) { return SetCscImage(name, size); }

std::int32_t CPellLinuxNp::SetPdaPath(const wchar_t* path) {
  if (RefusedWhileRunning(L"SetPdaPath")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szPdaImage, path);
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetPhonePath(const wchar_t* path) {
  if (RefusedWhileRunning(L"SetPhonePath")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szPhoneImage, path);
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetBootPath(const wchar_t* path) {
  if (RefusedWhileRunning(L"SetBootPath")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szBootImage, path);
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetCscPath(const wchar_t* path) {
  if (RefusedWhileRunning(L"SetCscPath")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szCscImage, path);
  return ENGINE_OK;
}

std::int32_t CPellLinuxNp::SetCscPath2(const wchar_t* path) { return SetCscPath(path); }

std::int32_t CPellLinuxNp::SetSparePath(const wchar_t* path) {
  if (RefusedWhileRunning(L"SetSparePath")) return ENGINE_REFUSED;
  CopyPath(m_engine->m_szSpareImage, path);
  return ENGINE_OK;
}

std::uint16_t CPellLinuxNp::FilesDone() const { return m_engine->m_wFilesDone; }
