// SPDX-License-Identifier: Apache-2.0
// The title banner: static text in white, in a large bold "Tahoma" font, on
// black. Its look is fixed; the text is whatever the window sets.
#pragma once

#include <QLabel>

class CTarnColorST : public QLabel {
  Q_OBJECT

 public:
  explicit CTarnColorST(QWidget* parent = nullptr);
  explicit CTarnColorST(const QString& text, QWidget* parent = nullptr);
  ~CTarnColorST() override;

  // The display font: the application's font with height 24, bold, "Tahoma".
  static QFont DisplayFont();

 private:
  void ApplyLook();
};
