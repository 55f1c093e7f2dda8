// SPDX-License-Identifier: Apache-2.0
#include "tests/testsupport/recording_host.h"

#include <algorithm>

#include "engine/events.h"

namespace tarn::test {

RecordingHost::RecordingHost() {
  target_ = platform::CMessageTarget::Create(
      [this](UINT message, WPARAM wParam, LPARAM lParam) { return Handle(message, wParam, lParam); });
  platform::SetMainWindow(target_);
}

RecordingHost::~RecordingHost() {
  target_->Detach();
  if (platform::GetMainWindow() == target_) platform::SetMainWindow(nullptr);
}

LRESULT RecordingHost::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == platform::WM_HOST_QUERY_CONTROL) {
    const int id = static_cast<int>(wParam);
    if (id == JOB_QUESTION_NATION && nationSelection) return platform::ControlAnswer(*nationSelection);
    if (id == JOB_QUESTION_FACTORY_MODE && factoryModeChecked) return platform::ControlAnswer(*factoryModeChecked);
    return 0;
  }
  RecordedMessage record{message, wParam, lParam, {}};
  if ((message == WM_JOB_TEXT || message == WM_JOB_ERROR) && wParam != 0) {
    record.text = reinterpret_cast<const wchar_t*>(wParam);
  }
  messages_.push_back(std::move(record));
  return 1;
}

bool RecordingHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    target_->WaitAndDispatch(std::chrono::milliseconds(10));
  }
  return true;
}

void RecordingHost::RunFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) target_->WaitAndDispatch(std::chrono::milliseconds(5));
}

namespace {
int SlotOf(const RecordedMessage& m) {
  switch (m.message) {
    case WM_JOB_TEXT:
    case WM_JOB_ERROR: return static_cast<int>(m.lParam);
    case WM_JOB_STATE:
    case WM_JOB_PASS: return static_cast<int>(m.wParam);
    case WM_JOB_PROGRESS: return static_cast<int>((m.wParam >> 24) & 0xFF);
    default: return -1;
  }
}
}  // namespace

std::vector<std::wstring> RecordingHost::Texts(int slot) const {
  std::vector<std::wstring> out;
  for (const auto& m : messages_) {
    if (m.message == WM_JOB_TEXT && (slot < 0 || SlotOf(m) == slot)) out.push_back(m.text);
  }
  return out;
}

std::vector<std::wstring> RecordingHost::Errors(int slot) const {
  std::vector<std::wstring> out;
  for (const auto& m : messages_) {
    if (m.message == WM_JOB_ERROR && (slot < 0 || SlotOf(m) == slot)) out.push_back(m.text);
  }
  return out;
}

std::vector<int> RecordingHost::States(int slot) const {
  std::vector<int> out;
  for (const auto& m : messages_) {
    if (m.message == WM_JOB_STATE && (slot < 0 || SlotOf(m) == slot)) out.push_back(static_cast<int>(m.lParam));
  }
  return out;
}

bool RecordingHost::Passed(int slot) const {
  return std::any_of(messages_.begin(), messages_.end(),
                     [slot](const RecordedMessage& m) { return m.message == WM_JOB_PASS && SlotOf(m) == slot; });
}

bool RecordingHost::HasText(const std::wstring& text, int slot) const {
  const auto texts = Texts(slot);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

}  // namespace tarn::test
