// SPDX-License-Identifier: Apache-2.0
#include "platform/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace tarn::platform {
namespace {

std::mutex g_sinkLock;
DebugSink g_sink;

int OutputDescriptor() {
  static const int fd = [] {
    const char* path = std::getenv("TARN_DEBUG_OUTPUT");
    if (path == nullptr || *path == '\0') return STDERR_FILENO;
    // Non-blocking open so that a FIFO nobody reads cannot hang start-up.
    int opened = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (opened < 0) return STDERR_FILENO;
    ::fcntl(opened, F_SETFL, O_APPEND);
    return opened;
  }();
  return fd;
}

}  // namespace

DebugSink SetDebugOutputSink(DebugSink sink) {
  std::lock_guard<std::mutex> guard(g_sinkLock);
  DebugSink previous = std::move(g_sink);
  g_sink = std::move(sink);
  return previous;
}

}  // namespace tarn::platform

void OutputDebugStringW(const wchar_t* text) {
  using namespace tarn::platform;
  const std::string record = Narrow(text ? std::wstring_view(text) : std::wstring_view());
  {
    std::lock_guard<std::mutex> guard(g_sinkLock);
    if (g_sink) {
      g_sink(record);
      return;
    }
  }
  if (record.empty()) return;
  // One write per record keeps records whole; retry only on interruption.
  while (::write(OutputDescriptor(), record.data(), record.size()) < 0 && errno == EINTR) {
  }
}
