// SPDX-License-Identifier: Apache-2.0
// How the window asks the operator for an image file. The window takes it as
// an interface so that tests, which cannot drive a modal file dialog, put in
// their own.
#pragma once

#include <optional>

#include <QString>

class QWidget;

namespace tarn::window {

class IFilePicker {
 public:
  virtual ~IFilePicker() = default;
  // `filter` in the toolkit's form, e.g. "PDA Image (*.tar)". The chosen full
  // path, or nothing when the operator cancels.
  virtual std::optional<QString> PickFile(QWidget* parent, const QString& initialFile, const QString& filter) = 0;
};

// The toolkit's file-open dialog.
class CDialogFilePicker : public IFilePicker {
 public:
  std::optional<QString> PickFile(QWidget* parent, const QString& initialFile, const QString& filter) override;
};

}  // namespace tarn::window
