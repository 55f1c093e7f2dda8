// SPDX-License-Identifier: Apache-2.0
#include "host/job_event.h"

#include "engine/events.h"

namespace tarn::host {

namespace {

int ByteOf(WPARAM word, int shift) { return static_cast<int>((word >> shift) & 0xFF); }

}  // namespace

JobEvent DecodeJobMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  JobEvent event;
  switch (message) {
    case WM_JOB_PROGRESS:  // the word PackProgress made
      event.kind = JobEventKind::Progress;
      event.slot = ByteOf(wParam, 24);
      event.file = ByteOf(wParam, 8);
      event.overall = ByteOf(wParam, 0);
      break;
    case WM_JOB_TEXT:
    case WM_JOB_ERROR:
      event.kind = message == WM_JOB_TEXT ? JobEventKind::Text : JobEventKind::Error;
      event.text = reinterpret_cast<const wchar_t*>(wParam);
      event.slot = static_cast<int>(lParam);
      break;
    case WM_JOB_STATE:
      event.kind = JobEventKind::State;
      event.slot = static_cast<int>(wParam);
      event.state = static_cast<int>(lParam);
      break;
    case WM_JOB_FILES:
      event.kind = JobEventKind::Files;
      event.filesTotal = static_cast<int>(wParam);
      event.filesDone = static_cast<int>(lParam);
      break;
    case WM_JOB_PASS:
      event.kind = JobEventKind::Pass;
      event.slot = static_cast<int>(wParam);
      event.filesDone = static_cast<int>(lParam);
      break;
    default: break;
  }
  return event;
}

bool IsErrorText(std::wstring_view text) { return text.substr(0, 4) == L"e - "; }

std::wstring WithoutLineEnd(std::wstring_view text) {
  const std::size_t end = text.find_last_not_of(L"\r\n");
  return std::wstring(text.substr(0, end == std::wstring_view::npos ? 0 : end + 1));
}

}  // namespace tarn::host
