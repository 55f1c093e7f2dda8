// SPDX-License-Identifier: Apache-2.0
// What tarn-flash tells its user about the jobs: one call per job message and
// one summary per slot at the end. Text and JSON Lines implement it.
#pragma once

#include <string>
#include <vector>

namespace tarn::cli {

struct SlotSummary {
  int slot = 0;
  int port = 0;
  bool passed = false;
  bool stopped = false;  // ended on a stop request (a signal) without passing
  int filesDone = 0;
  std::vector<std::wstring> errors;
  double seconds = 0;
};

class FlashReport {
 public:
  virtual ~FlashReport() = default;
  virtual void JobStarted(int slot, int port, bool restart) = 0;
  virtual void Text(int slot, const std::wstring& text) = 0;
  virtual void Error(int slot, const std::wstring& text) = 0;
  virtual void Progress(int slot, int overall, int file) = 0;
  virtual void State(int slot, int code) = 0;
  virtual void Files(int total, int done) = 0;  // the message carries no slot
  virtual void Pass(int slot, int filesDone) = 0;
  virtual void Summary(const SlotSummary& summary) = 0;
};

}  // namespace tarn::cli
