// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_report.h"

#include "engine/events.h"

namespace tarn::cli {

SlotResult ResultOf(const SlotSummary& summary) {
  return summary.passed ? SlotResult::Pass : summary.stopped ? SlotResult::Stopped : SlotResult::Fail;
}

const char* ResultName(SlotResult result) {
  switch (result) {
    case SlotResult::Pass: return "PASS";
    case SlotResult::Stopped: return "STOPPED";
    case SlotResult::Fail: break;
  }
  return "FAIL";
}

std::wstring ReasonOf(const SlotSummary& summary) {
  if (summary.passed) return {};
  if (!summary.reason.empty()) return summary.reason;
  if (!summary.errors.empty()) return summary.errors.front();
  // A job stopped at once sends no text of its own.
  return summary.stopped ? kJobStoppedText : std::wstring();
}

}  // namespace tarn::cli
