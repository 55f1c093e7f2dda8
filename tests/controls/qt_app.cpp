// SPDX-License-Identifier: Apache-2.0
#include "tests/controls/qt_app.h"

#include <QApplication>

void QtTest::SetUpTestSuite() {
  if (QApplication::instance() != nullptr) return;
  // QApplication keeps references to argc and argv for its whole life.
  static int argc = 1;
  static char name[] = "tarn_controls_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: tearing it down among the other static destructors at
  // exit crashes inside Qt, and the process ends right after anyway.
  new QApplication(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
}
