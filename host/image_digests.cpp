// SPDX-License-Identifier: Apache-2.0
#include "host/image_digests.h"

#include <filesystem>
#include <optional>

#include "support/sha256.h"

namespace tarn::host {

ImageDigestsOutcome DigestImages(const std::string& pda, const std::string& csc, const std::string& phone,
                                 const DigestStarting& starting, const DigestProgress& progress) {
  ImageDigestsOutcome outcome;
  for (ImageDigest image :
       {ImageDigest{"PDA", pda, {}}, ImageDigest{"CSC", csc, {}}, ImageDigest{"PHONE", phone, {}}}) {
    if (image.path.empty()) continue;
    if (starting) {
      std::error_code ec;
      const std::uintmax_t size = std::filesystem::file_size(image.path, ec);
      starting(image, ec ? 0 : static_cast<std::uint64_t>(size));
    }
    std::string why;
    const std::optional<std::string> digest = sha256::FileDigest(image.path, &why, progress);
    if (!digest) {
      outcome.error = "e - the " + image.role + " image cannot be read for its SHA-256: " + why;
      return outcome;
    }
    image.sha256 = *digest;
    outcome.digests.push_back(std::move(image));
  }
  return outcome;
}

}  // namespace tarn::host
