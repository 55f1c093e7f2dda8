// SPDX-License-Identifier: Apache-2.0
// A temporary folder removed with everything in it when the object goes away.
#pragma once

#include <filesystem>
#include <string>

namespace tarn::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Removes everything in `dir` and keeps the folder; quiet when it is gone.
void EmptyFolder(const std::filesystem::path& dir);

}  // namespace tarn::test
