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
  // Closing during a batch: the window has saved the settings and cut the
  // jobs off from itself; they end with the window's engines.
  window->StopJobsForExit();
  window.reset();
  return ExitInstance();
}

int CKelpa3MultiApp::ExitInstance() { return 0; }
