// SPDX-License-Identifier: Apache-2.0
// Shared set-up for the fuzz targets: no log output, and inputs as files.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace tarn::fuzz {

inline void SilenceLog() {
  tarn::platform::SetDebugOutputSink([](std::string_view) {});
}

// An anonymous in-memory file holding `data`; closed when the object goes.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(::memfd_create("fuzz", MFD_CLOEXEC)) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  int Fd() const { return fd_; }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

}  // namespace tarn::fuzz
