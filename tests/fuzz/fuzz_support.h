// SPDX-License-Identifier: Apache-2.0
// Shared set-up for the fuzz targets: no log output, inputs as files, and
// scratch folders.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace tarn::fuzz {

inline void SilenceLog() {
  tarn::platform::SetDebugOutputSink([](std::string_view) {});
}

// A new folder for one run's files, on the memory-backed /dev/shm when there
// is one: the targets that need real files write one or more per input.
inline std::string ScratchFolder(const std::string& what) {
  const std::string parent = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = parent + "/tarn-fuzz-" + what + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
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
