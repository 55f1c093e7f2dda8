// SPDX-License-Identifier: Apache-2.0
#include "window/close_confirmer.h"

#include <QMessageBox>

namespace tarn::window {

bool CMessageBoxCloseConfirmer::ConfirmCloseDuringBatch(QWidget* parent) {
  const QMessageBox::StandardButton answer = QMessageBox::question(
      parent, QStringLiteral("Tarn Multi Downloader"),
      QStringLiteral("Phones are still being written. Close the window and stop every job?"),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  return answer == QMessageBox::Yes;
}

}  // namespace tarn::window
