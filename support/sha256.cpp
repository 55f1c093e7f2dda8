// SPDX-License-Identifier: Apache-2.0
#include "support/sha256.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tarn::sha256 {

namespace {

// Firmware images run to gigabytes: large reads keep the system calls few,
// and one buffer of this size is nothing beside them.
constexpr std::size_t kReadBytes = 4 * 1024 * 1024;

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0F];
  }
  return hex;
}

}  // namespace

std::optional<std::string> FileDigest(const std::string& path, std::string* error, const Progress& progress) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  sha256_ctx context;
  sha256_init(&context);
  std::vector<std::uint8_t> buffer(kReadBytes);
  std::uint64_t done = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = path + ": " + std::strerror(errno);
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    sha256_update(&context, static_cast<std::size_t>(got), buffer.data());
    done += static_cast<std::uint64_t>(got);
    if (progress) progress(done);
  }
  close(fd);
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  return Hex(digest, sizeof digest);
}

}  // namespace tarn::sha256
