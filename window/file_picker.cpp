// SPDX-License-Identifier: Apache-2.0
#include "window/file_picker.h"

#include <QFileDialog>

namespace tarn::window {

std::optional<QString> CDialogFilePicker::PickFile(QWidget* parent, const QString& initialFile, const QString& filter) {
  // The file must exist; there is no read-only box to hide on this platform.
  const QString path = QFileDialog::getOpenFileName(parent, QString(), initialFile, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace tarn::window
