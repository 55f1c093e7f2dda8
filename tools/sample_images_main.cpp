// SPDX-License-Identifier: Apache-2.0
// tarn-sample-images: writes the demo's sample images into a folder.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "tools/sample_images.h"

namespace {

constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  tarn::tools::SampleSpec spec;
  CLI::App app("Writes a PDA archive, a CSC archive and a phone binary with deterministic content.",
               "tarn-sample-images");
  app.add_option("--out", spec.outDir, "folder to write into (created when missing)")->required();
  app.add_option("--size", spec.size, "bytes of the largest PDA member (the others scale with it)")
      ->check(CLI::Range(std::uint64_t{1024}, std::uint64_t{1} << 31));
  app.add_option("--pda-name", spec.pdaName, "file name of the PDA archive");
  app.add_option("--csc-name", spec.cscName, "file name of the CSC archive");
  app.add_option("--phone-name", spec.phoneName, "file name of the phone binary");
  app.set_version_flag("--version", "tarn-sample-images " TARN_SAMPLE_IMAGES_VERSION, "print the version and exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version exit 0; every wrong option is bad usage, as with the other programs.
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }
  std::string error;
  if (!tarn::tools::WriteSampleImages(spec, &error)) {
    std::fprintf(stderr, "e - %s\n", error.c_str());
    return 1;
  }
  return 0;
}
