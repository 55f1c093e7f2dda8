// SPDX-License-Identifier: Apache-2.0
#include "cli/output_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace tarn::cli {

namespace {

std::atomic<bool> g_outClosed{false};
std::atomic<bool> g_errClosed{false};

// The closed flag of a standard stream; null for any other stream.
std::atomic<bool>* ClosedFlag(std::FILE* stream) {
  if (stream == stdout) return &g_outClosed;
  if (stream == stderr) return &g_errClosed;
  return nullptr;
}

void SayClosed(std::FILE* stream, int error) {
  std::FILE* other = stream == stdout ? stderr : stdout;
  const std::string line = std::string("tarn-flash: standard ") + (stream == stdout ? "output" : "error") +
                           " is closed (" + std::strerror(error) +
                           "); the batch goes on without it, its report and slot logs are written as asked\n";
  WriteStream(other, line);
}

}  // namespace

void GuardStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open() takes the lowest free number: this one.
    if (open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) break;
  }
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
}

bool WriteStream(std::FILE* stream, std::string_view bytes) {
  std::atomic<bool>* closed = ClosedFlag(stream);
  if (closed && closed->load()) return false;
  errno = 0;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
  if (written) return true;
  const int error = errno;
  if (closed && !closed->exchange(true)) SayClosed(stream, error);
  return false;
}

bool WriteAll(int fd, std::string_view bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace tarn::cli
