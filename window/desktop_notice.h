// SPDX-License-Identifier: Apache-2.0
// The desktop notification at the end of a batch: an operator who works in
// another window learns that the phones can be changed, and how the batch went.
#pragma once

#include <QString>

#include "host/batch_controller.h"

class QWidget;

namespace tarn::window {

struct BatchCounts {
  int passed = 0;
  int failed = 0;
  int stopped = 0;
};

// The outcomes of the slots that took part in the batch that has just ended.
BatchCounts CountOutcomes(const tarn::host::BatchController& batch);
// "2 passed, 1 failed, 0 stopped"
QString NoticeText(const BatchCounts& counts);

// Asks the desktop's notification service to show the batch's counts, unless
// `window` is the active window (its operator sees them already). Never
// waits for the service: without one, nothing is shown.
void NoticeBatchEnd(const QWidget& window, const tarn::host::BatchController& batch);

}  // namespace tarn::window
