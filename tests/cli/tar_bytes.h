// SPDX-License-Identifier: Apache-2.0
// Hand-made tar archives for the size and nation tests, including headers no
// archiver would write (bad size fields, names without NUL, truncated data).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarn::test {

struct RawMember {
  RawMember(std::string n, std::uint32_t s, std::string field = {})
      : name(std::move(n)), size(s), sizeField(std::move(field)) {}
  std::string name;        // copied into the 100-byte name field (no NUL when 100 long)
  std::uint32_t size = 0;  // the data written
  std::string sizeField;   // empty: the octal form of `size`
};

// Headers and padded data, then `zeroBlocks` zero blocks.
std::vector<unsigned char> TarBytes(const std::vector<RawMember>& members, int zeroBlocks = 2);
void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);

}  // namespace tarn::test
