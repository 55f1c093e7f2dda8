// SPDX-License-Identifier: Apache-2.0
// The operator window on the offscreen platform with START pressed: the
// window process the crash-restart test kills mid-batch. A program of its
// own rather than a fork of the test, whose phone threads a forked child
// would not have (and ThreadSanitizer refuses such children).
//
//   crash-window-child SETTINGS_DIR PDA CSC PHONE
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "window/control_ids.h"
#include "window/kelpa3_multi_dlg.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: crash-window-child SETTINGS_DIR PDA CSC PHONE\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window tests' clock: the slots' start stagger and pauses shrink.
  // The jobs' log goes to standard error, for the test to show.
  tarn::platform::SetClockScale(0.01);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromLocal8Bit(argv[1]));
  QApplication app(argc, argv);
  CKelpa3MultiDlg window;
  window.AddImageFile(QString::fromLocal8Bit(argv[2]), tarn::window::kListKindPda);
  window.AddImageFile(QString::fromLocal8Bit(argv[3]), tarn::window::kListKindCsc);
  window.AddImageFile(QString::fromLocal8Bit(argv[4]), tarn::window::kListKindPhone);
  QCheckBox* factory = window.CheckBox(tarn::window::IDC_FACTORY);
  if (factory->isChecked()) factory->click();  // no completion wait
  window.show();
  static_cast<QPushButton*>(window.Control(tarn::window::IDC_START))->click();
  std::printf("%d ports, batch %s\n", window.PortCount(), window.InBatch() ? "started" : "refused");
  std::fflush(stdout);
  if (!window.InBatch()) return 1;
  return app.exec();  // until killed; a batch that ends leaves the window open
}
