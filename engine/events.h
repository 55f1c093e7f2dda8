// SPDX-License-Identifier: Apache-2.0
// Messages from a job to its host, and the job states they carry.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

constexpr UINT WM_JOB_PROGRESS = WM_USER + 101;  // packed progress, 0
constexpr UINT WM_JOB_TEXT = WM_USER + 102;      // const wchar_t* text, slot (0 in NPS mode)
constexpr UINT WM_JOB_FILES = WM_USER + 103;     // files total, files done
constexpr UINT WM_JOB_ERROR = WM_USER + 104;     // const wchar_t* text, slot
constexpr UINT WM_JOB_STATE = WM_USER + 105;     // slot, state code
constexpr UINT WM_JOB_PASS = WM_USER + 106;      // slot, files done
static_assert(WM_JOB_PROGRESS == 1125 && WM_JOB_PASS == 1130);

constexpr int STATE_ERROR = -1;
constexpr int STATE_PDA_START = 100;
constexpr int STATE_PDA_END = 101;
constexpr int STATE_PHONE_START = 200;
constexpr int STATE_PHONE_END = 201;
constexpr int STATE_PHONE_UPDATE = 202;
constexpr int STATE_REBOOT = 900;
constexpr int STATE_FORMAT = 902;
constexpr int STATE_WAIT = 903;

// Clock seconds of Factory Mode's completion wait, which STATE_WAIT begins:
// longer for a job without a PDA image.
constexpr std::uint32_t kCompletionWaitSecondsWithPda = 100;
constexpr std::uint32_t kCompletionWaitSecondsWithoutPda = 160;

// The error text of a job that ended at a command boundary because its host
// asked it to (CPellLinuxNp::StopAtCommandBoundary); hosts tell such a job
// from a failed one by it.
constexpr const wchar_t* kJobStoppedText = L"e - stopped by the operator";

// The questions a job asks its host (through tarn::platform::QueryHostControl):
// which nation is selected, and whether Factory Mode is on. The numbers are
// those of the window controls that first answered them.
constexpr int JOB_QUESTION_NATION = 1039;
constexpr int JOB_QUESTION_FACTORY_MODE = 1042;

// wParam of WM_JOB_PROGRESS outside NPS mode: slot, port, file, overall (low
// 8 bits each, highest byte first).
constexpr WPARAM PackProgress(int slot, int port, int file, int overall) {
  return (static_cast<WPARAM>(slot & 0xFF) << 24) | (static_cast<WPARAM>(port & 0xFF) << 16) |
         (static_cast<WPARAM>(file & 0xFF) << 8) | static_cast<WPARAM>(overall & 0xFF);
}
