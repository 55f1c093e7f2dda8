// SPDX-License-Identifier: Apache-2.0
// Test images: tar archives through the shared writer, Stratine members,
// recognisable byte patterns and plain files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/tar_writer.h"

namespace tarn::test {

using tools::TarMember;

// Headers and data padded to 512-byte blocks, then two zero blocks unless
// `endBlocks` is false.
std::string BuildTar(const std::vector<TarMember>& members, bool endBlocks = true);

// A member given by its size: its data counts up by 7 from 0 (mod 256).
struct RawMember {
  RawMember(std::string n, std::uint32_t s, std::string field = {})
      : name(std::move(n)), size(s), sizeField(std::move(field)) {}
  std::string name;
  std::uint32_t size = 0;
  std::string sizeField;  // empty: the octal form of `size`
};
// Headers and padded data, then `zeroBlocks` zero blocks.
std::vector<unsigned char> TarBytes(const std::vector<RawMember>& members, int zeroBlocks = 2);

// Bytes of a recognisable pattern (different per seed).
std::string Pattern(std::size_t size, unsigned seed);
// A Stratine member: 512-byte header with the three part sizes, padding to
// 8704 bytes, then the three parts.
std::string StratineData(const std::string& ums, const std::string& opt, const std::string& csc);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace tarn::test
