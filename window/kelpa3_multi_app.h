// SPDX-License-Identifier: Apache-2.0
// The application: sets up the process, runs the operator window and ends.
#pragma once

#include <QApplication>

class CKelpa3MultiApp : public QApplication {
  Q_OBJECT

 public:
  CKelpa3MultiApp(int& argc, char** argv);
  ~CKelpa3MultiApp() override;

  // Runs the window until it closes; the process's exit status.
  int InitInstance();
  int ExitInstance();
};
