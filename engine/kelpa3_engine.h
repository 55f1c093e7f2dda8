// SPDX-License-Identifier: Apache-2.0
// The job context: everything one download job needs. The job thread works on
// it without locks; nothing else writes it while the job runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/digest_ahead.h"
#include "engine/options.h"
#include "engine/run_state.h"
#include "link/link_events.h"
#include "link/link_session.h"
#include "link/security_engine.h"
#include "link/usb_device.h"
#include "platform/file_mapping.h"
#include "platform/thread.h"
#include "platform/win_types.h"
#include "wire/image_member.h"

constexpr std::size_t kImagePathChars = 1040;  // 1039 characters and the terminator

constexpr DWORD ENGINE_STATE_IDLE = 0;
constexpr DWORD ENGINE_STATE_READY = 1;

// The context answers its link's events by sending the job's messages.
class CKelpa3Engine : public LinkEvents {
 public:
  CKelpa3Engine();
  virtual ~CKelpa3Engine();
  CKelpa3Engine(const CKelpa3Engine&) = delete;
  CKelpa3Engine& operator=(const CKelpa3Engine&) = delete;

  // --- Engine events (sent synchronously to the host) ---
  // Text line, cut to 511 characters; `value` is lParam in NPS mode.
  void ReportStatus(int value, const wchar_t* format, ...);
  // Error text, then (outside NPS mode) the Error state. A job that goes on
  // after it no longer ends with PASS (m_pszFailure).
  void ReportError(const wchar_t* format, ...);
  void ReportProgress(int overall, int file);
  void FireState(int code, const wchar_t* logName);
  void FireError();
  // WM_JOB_FILES with the job's counters.
  void SendFiles();
  // ReportProgress with overall = progress done * 100 / progress total.
  void ReportOverallProgress(int file);
  // The phone's port has gone: reports it, releases the job's members and
  // port, and ends the calling job thread at once. Never returns.
  [[noreturn]] void AbortOnDisconnect();
  // The host asked for a stop at the next command boundary: tells it so.
  // The job thread's entry releases the job after it.
  void ReportStopped();
  // Throws LinkStopped when the host asked for a stop (between steps and in
  // waits where no command is under way).
  void StopIfRequested() const;

  // --- The link's events ---
  void OnText(const wchar_t* text) override;
  void OnError(const wchar_t* text) override;
  void OnProgress(int overall, int file) override;
  void OnPhoneUpdate() override;
  bool DigestPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size, char* text) override;
  void DigestNextPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size) override;

  // The link session of a run over this context's device and counters.
  LinkSession Link(const JobDescription& task, const RunState& run);
  // A session that only reports, for image read failures met outside a run's
  // link operations.
  LinkSession ReportingLink();

  // --- Member table ---
  void FreeMembers();
  // Frees the member table and closes the port, as the job's clean-up does.
  void ReleaseResources();

  std::vector<std::unique_ptr<IMAGE_MEMBER>> m_members;
  CSecurityEngine m_security;
  CUSBDevice m_device;
  // The host's settings, as the setters and StartJob leave them; StartJob
  // makes the job's description of them (engine/job_description.h).
  ENGINE_OPTIONS m_options{};
  std::int16_t m_nPort = 0;
  std::uint16_t m_wImageMask = 0;
  wchar_t m_szBootImage[kImagePathChars] = {};
  wchar_t m_szPdaImage[kImagePathChars] = {};
  wchar_t m_szCscImage[kImagePathChars] = {};
  wchar_t m_szSpareImage[kImagePathChars] = {};
  wchar_t m_szPhoneImage[kImagePathChars] = {};
  std::uint32_t m_dwBootSize = 0;
  std::uint32_t m_dwPdaSize = 0;
  std::uint32_t m_dwCscSize = 0;
  std::uint32_t m_dwPhoneSize = 0;
  std::int32_t m_nTotalSize = 0;
  std::int16_t m_nIndex = 0;  // slot index, which the job's messages and log records carry
  std::uint32_t m_dwProgressTotal = 0;
  std::uint32_t m_dwProgressDone = 0;
  std::uint16_t m_wFilesTotal = 0;
  std::uint16_t m_wFilesDone = 0;
  DWORD m_dwState = ENGINE_STATE_IDLE;
  std::shared_ptr<tarn::platform::CThread> m_pThread;
  // The run of the job thread while it runs, for the port its checksum
  // records name; nullptr outside a run.
  const RunState* m_pRun = nullptr;
  // Why a job that ran all its steps still failed (a failure it went on
  // after, so that the phone is left usable); nullptr while every step it ran
  // succeeded. Reported as the job's final error instead of PASS.
  const wchar_t* m_pszFailure = nullptr;
  // Set by the host to end the job at its next command boundary; the link
  // reads it (LinkSession::stopRequested), StartJob clears it.
  std::atomic<bool> m_bStopAtBoundary{false};
  // The first archive, opened at the job's start so that its first piece is
  // digested during the start-up delay (first_piece.h); the download takes it.
  std::unique_ptr<tarn::platform::CFileMapping> m_pEarlyImage;
  // Digests the job's next piece while the current one is sent; declared
  // after the early image, which it may read, so that it ends first.
  CDigestAhead m_digestAhead;

 private:
  void PostText(int value, const wchar_t* text);
  void PostError(const wchar_t* text);
};
