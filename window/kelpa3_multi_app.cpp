// SPDX-License-Identifier: Apache-2.0
#include "window/kelpa3_multi_app.h"

#include <memory>

#include "platform/text.h"
#include "window/kelpa3_multi_dlg.h"

CKelpa3MultiApp::CKelpa3MultiApp(int& argc, char** argv) : QApplication(argc, argv) {}

CKelpa3MultiApp::~CKelpa3MultiApp() = default;

int CKelpa3MultiApp::InitInstance() {
  tarn::platform::InitProcessLocale();
  // Settings go under "Tarn" and the program's own name.
  setOrganizationName(QStringLiteral("Tarn"));
  auto window = std::make_unique<CKelpa3MultiDlg>();
  window->exec();
  // Closing has saved the settings, cut the jobs off from the window and
  // asked them to stop; the engines' destructors wait for them to end.
  window.reset();
  return ExitInstance();
}

int CKelpa3MultiApp::ExitInstance() { return 0; }
