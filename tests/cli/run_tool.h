// SPDX-License-Identifier: Apache-2.0
// Runs a program of the build as a child process and collects what it wrote.
#pragma once

#include <string>
#include <vector>

namespace tarn::test {

struct ToolRun {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// The child inherits the environment (set TARN_DEVICEMAP before calling).
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args);

}  // namespace tarn::test
