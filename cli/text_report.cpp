// SPDX-License-Identifier: Apache-2.0
#include "cli/text_report.h"

#include "cli/output_streams.h"
#include "platform/text.h"

namespace tarn::cli {

TextReport::TextReport(std::FILE* out, std::function<void()> beforeWrite)
    : out_(out), beforeWrite_(std::move(beforeWrite)) {}

void TextReport::Line(const std::wstring& line) {
  if (beforeWrite_) beforeWrite_();
  std::string narrow = platform::Narrow(line);
  narrow += '\n';
  WriteStream(out_, narrow);
}

void TextReport::Text(int slot, const std::wstring& text) { Line(L"[  " + std::to_wstring(slot) + L"  ] " + text); }

void TextReport::Error(int slot, const std::wstring& text) {
  Line(L"ERROR [  Device " + std::to_wstring(slot) + L"  ] " + text);
}

void TextReport::Summary(const SlotSummary& summary) {
  Line(L"[  " + std::to_wstring(summary.slot) + L"  ] " + platform::Widen(ResultName(ResultOf(summary))));
}

}  // namespace tarn::cli
