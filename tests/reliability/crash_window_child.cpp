// SPDX-License-Identifier: Apache-2.0
// The operator window on the offscreen platform with START pressed: the
// window process the crash-restart test kills mid-batch. A program of its
// own rather than a fork of the test, whose phone threads a forked child
// would not have (and ThreadSanitizer refuses such children).
//
//   crash-window-child SETTINGS_DIR PDA CSC PHONE [--until-end]
//
// With --until-end (the USB rig, on real ports) it runs on the real clock,
// prints each slot's port and final text once the batch has ended, and exits
// 0 when every slot passed, 1 otherwise.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controls/text_progress_ctrl.h"
#include "platform/clock.h"
#include "window/control_ids.h"
#include "window/kelpa3_multi_dlg.h"

namespace {

// Prints every slot of the batch and ends the event loop with 0 when all passed.
void ReportSlots(CKelpa3MultiDlg& window) {
  int failed = 0;
  for (int slot = 0; slot < 8; ++slot) {
    if (window.Port(slot) < 0) continue;
    const QString result = window.UpperBar(slot)->WindowText().trimmed();
    std::printf("slot %d COM%d: %s\n", slot, window.Port(slot), result.toLocal8Bit().constData());
    failed += result != QStringLiteral("PASS");
  }
  std::fflush(stdout);
  QCoreApplication::exit(failed == 0 ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  const bool untilEnd = argc == 6 && std::strcmp(argv[5], "--until-end") == 0;
  if (argc != 5 && !untilEnd) {
    std::fprintf(stderr, "usage: crash-window-child SETTINGS_DIR PDA CSC PHONE [--until-end]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window tests' clock: the slots' start stagger and pauses shrink.
  // The jobs' log goes to standard error, for the test to show.
  if (!untilEnd) tarn::platform::SetClockScale(0.01);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromLocal8Bit(argv[1]));
  QApplication app(argc, argv);
  CKelpa3MultiDlg window;
  window.AddImageFile(QString::fromLocal8Bit(argv[2]), IMAGE_MASK_PDA);
  window.AddImageFile(QString::fromLocal8Bit(argv[3]), IMAGE_MASK_CSC);
  window.AddImageFile(QString::fromLocal8Bit(argv[4]), IMAGE_MASK_PHONE);
  QCheckBox* factory = window.CheckBox(tarn::window::IDC_FACTORY);
  if (factory->isChecked()) factory->click();  // no completion wait
  window.show();
  static_cast<QPushButton*>(window.Control(tarn::window::IDC_START))->click();
  std::printf("%d ports, batch %s\n", window.PortCount(), window.InBatch() ? "started" : "refused");
  std::fflush(stdout);
  if (!window.InBatch()) return 1;
  QTimer poll;
  if (untilEnd) {
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!window.InBatch()) ReportSlots(window);
    });
    poll.start(100);
  }
  return app.exec();  // until killed, or the batch's end with --until-end
}
