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

}  // namespace tarn::test
