// SPDX-License-Identifier: Apache-2.0
// JSON Lines on standard output: one object per job message, one summary per slot.
#pragma once

#include <cstdio>
#include <string>

#include "cli/flash_report.h"

namespace tarn::cli {

class JsonReport : public FlashReport {
 public:
  explicit JsonReport(std::FILE* out) : out_(out) {}
  void JobStarted(int slot, int port, bool restart) override;
  void Text(int slot, const std::wstring& text) override;
  void Error(int slot, const std::wstring& text) override;
  void Progress(int slot, int overall, int file) override;
  void State(int slot, int code) override;
  void Files(int total, int done) override;
  void Pass(int slot, int filesDone) override;
  void Summary(const SlotSummary& summary) override;

 private:
  void Write(const std::string& line);
  std::FILE* out_;
};

// UTF-8 whatever the process locale, so the output is always valid JSON text.
std::string Utf8Of(const std::wstring& text);

}  // namespace tarn::cli
