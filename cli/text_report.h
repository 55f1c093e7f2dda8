// SPDX-License-Identifier: Apache-2.0
// Plain text lines on standard output, as the window's message boxes show them.
#pragma once

#include <cstdio>
#include <functional>

#include "cli/flash_report.h"

namespace tarn::cli {

class TextReport : public FlashReport {
 public:
  // `beforeWrite` runs before each line (the progress view gets out of the way).
  explicit TextReport(std::FILE* out, std::function<void()> beforeWrite = {});
  void Text(int slot, const std::wstring& text) override;
  void Error(int slot, const std::wstring& text) override;
  void Summary(const SlotSummary& summary) override;

 private:
  void Line(const std::wstring& line);
  std::FILE* out_;
  std::function<void()> beforeWrite_;
};

}  // namespace tarn::cli
