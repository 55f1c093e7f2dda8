// tarn-multi-downloader: the operator window. It takes no command-line options.
#include "window/kelpa3_multi_app.h"

int main(int argc, char** argv) {
  CKelpa3MultiApp app(argc, argv);
  return app.InitInstance();
}
