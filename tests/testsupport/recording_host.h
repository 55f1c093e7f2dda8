// SPDX-License-Identifier: Apache-2.0
// A test host: receives a job's messages on the test thread, keeps a copy of
// each (texts copied while they are valid) and answers the control queries.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace tarn::test {

struct RecordedMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::wstring text;  // WM_JOB_TEXT and WM_JOB_ERROR
};

class RecordingHost {
 public:
  // Registers itself as the main window.
  RecordingHost();
  ~RecordingHost();  // detaches and unregisters

  // Control answers: nullopt means the host has no such control.
  std::optional<int> nationSelection = 0;
  std::optional<int> factoryModeChecked = 0;

  // Dispatches messages until `done` holds or `timeout` passes; true if done.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Dispatches for a while (used to let jobs finish their last messages).
  void RunFor(std::chrono::milliseconds duration);

  const std::vector<RecordedMessage>& Messages() const { return messages_; }
  std::vector<std::wstring> Texts(int slot = -1) const;   // WM_JOB_TEXT texts
  std::vector<std::wstring> Errors(int slot = -1) const;  // WM_JOB_ERROR texts
  std::vector<int> States(int slot = -1) const;           // WM_JOB_STATE codes
  bool Passed(int slot) const;                            // WM_JOB_PASS seen for slot
  bool HasText(const std::wstring& text, int slot = -1) const;
  void Clear() { messages_.clear(); }

  tarn::platform::HWND Target() const { return target_; }

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  tarn::platform::HWND target_;
  std::vector<RecordedMessage> messages_;
};

}  // namespace tarn::test
