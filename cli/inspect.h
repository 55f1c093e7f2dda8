// SPDX-License-Identifier: Apache-2.0
// tarn-flash inspect: what each image holds and what START would send of it,
// without a phone. Text for a person, or one JSON object for a script.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host/image_check.h"

namespace tarn::cli {

struct InspectedImage {
  ImageListing listing;
  std::string sha256;  // 64 lower-case hex digits; empty when the file could not be read
};

// The listings of `files`, each of the kind its content shows, with their
// SHA-256. A file that cannot be read whole is refused.
std::vector<InspectedImage> ListImages(const std::vector<std::string>& files);

void PrintInspectText(const std::vector<InspectedImage>& images, std::FILE* out);
void PrintInspectJson(const std::vector<InspectedImage>& images, std::FILE* out);

// Lists `files` on `out` and every refusal on `err`; kExitRefused when START
// would refuse one of them, kExitPassed otherwise.
int RunInspect(const std::vector<std::string>& files, bool json, std::FILE* out, std::FILE* err);

}  // namespace tarn::cli
