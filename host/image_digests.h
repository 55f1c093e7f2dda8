// SPDX-License-Identifier: Apache-2.0
// The SHA-256 of each image a batch sends, worked out before the first phone
// is greeted, so that what a station records names the very bytes it sent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/batch_records.h"

namespace tarn::host {

struct ImageDigestsOutcome {
  std::vector<ImageDigest> digests;  // PDA, CSC, PHONE: those given, in this order
  std::string error;                 // "e - ..." (no line end) when an image could not be read
};

// Before each image: its role, path and size; then its bytes hashed so far.
using DigestStarting = std::function<void(const ImageDigest& image, std::uint64_t fileBytes)>;
using DigestProgress = std::function<void(std::uint64_t bytesDone)>;

// Reads every given image (empty paths are not given) once, whole. Stops at
// the first one that cannot be read.
ImageDigestsOutcome DigestImages(const std::string& pda, const std::string& csc, const std::string& phone,
                                 const DigestStarting& starting = {}, const DigestProgress& progress = {});

}  // namespace tarn::host
