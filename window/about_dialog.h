// SPDX-License-Identifier: Apache-2.0
// The about box: the icon, the product name and version, the licence, the
// home page and OK.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
