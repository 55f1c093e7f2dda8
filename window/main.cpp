// SPDX-License-Identifier: Apache-2.0
// tarn-multi-downloader: the operator window. Its one option, --version,
// prints the version and exits without opening a window.
#include <cstdio>
#include <cstring>

#include "tarn/version.h"
#include "window/kelpa3_multi_app.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("tarn-multi-downloader " TARN_VERSION);
    return 0;
  }
  CKelpa3MultiApp app(argc, argv);
  return app.InitInstance();
}
