// SPDX-License-Identifier: Apache-2.0
// Runs a program of the build as a child process and collects what it wrote.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn::test {

struct ToolRun {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
  std::chrono::steady_clock::time_point ended{};  // when its output ended (it exited)
};

// The child inherits the environment (set TARN_DEVICEMAP before calling) and
// starts with SIGPIPE's default action, as from a shell. `started` (when
// given) gets the child's process id as soon as it runs and must return at
// once (hand the id to a thread of the test to signal it). After `outLines`
// lines the test stops reading standard output and closes it, as `| head` does.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                const std::function<void(int pid)>& started = {}, std::size_t outLines = SIZE_MAX);

}  // namespace tarn::test
