// SPDX-License-Identifier: Apache-2.0
#include "tests/testsupport/temp_dir.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace tarn::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarn-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void EmptyFolder(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

}  // namespace tarn::test
