// SPDX-License-Identifier: Apache-2.0
// How the window asks the operator whether to close while a batch runs. The
// window takes it as an interface so that tests, which cannot answer a modal
// question box, put in their own answer.
#pragma once

class QWidget;

namespace tarn::window {

class ICloseConfirmer {
 public:
  virtual ~ICloseConfirmer() = default;
  // True when the operator agrees to close the window and stop the jobs.
  virtual bool ConfirmCloseDuringBatch(QWidget* parent) = 0;
};

// The toolkit's question box, "No" by default so that a stray Enter keeps
// the batch going.
class CMessageBoxCloseConfirmer : public ICloseConfirmer {
 public:
  bool ConfirmCloseDuringBatch(QWidget* parent) override;
};

}  // namespace tarn::window
