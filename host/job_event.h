// SPDX-License-Identifier: Apache-2.0
// A job's message to its host (engine/events.h) read into plain fields, so
// that no host unpacks the progress word or casts message words itself.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarn::host {

enum class JobEventKind { Other, Progress, Text, Error, State, Files, Pass };

struct JobEvent {
  JobEventKind kind = JobEventKind::Other;
  // The slot the message names, unchecked; -1 for the files message, which
  // names none.
  int slot = -1;
  // Text and Error: the job's text, valid only while its message is handled
  // (null when the job sent none).
  const wchar_t* text = nullptr;
  int overall = 0;     // Progress: percent of the whole job
  int file = 0;        // Progress: percent of the current file
  int state = 0;       // State: one of the STATE_* codes
  int filesTotal = 0;  // Files
  int filesDone = 0;   // Files and Pass
};

// Kind Other for every message that is no job message. A progress word in
// NPS mode (the bare overall percent) reads as slot 0 with file percent 0:
// the hosts have always read it so.
JobEvent DecodeJobMessage(UINT message, WPARAM wParam, LPARAM lParam);

// A job reports some failures as plain texts ("e - Command 0 Failed. ...")
// and ends with its closing error ("e - usb is disconnected!!"): a text that
// begins "e - " is an error all the same.
bool IsErrorText(std::wstring_view text);
// The text without the line ends some job texts carry.
std::wstring WithoutLineEnd(std::wstring_view text);

}  // namespace tarn::host
