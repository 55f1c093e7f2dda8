// SPDX-License-Identifier: Apache-2.0
// Test images: tar archives built in memory, Stratine members, plain files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarn::test {

struct TarMember {
  TarMember(std::string n, std::string d, std::optional<std::string> s = std::nullopt)
      : name(std::move(n)), data(std::move(d)), sizeField(std::move(s)) {}
  std::string name;
  std::string data;
  std::optional<std::string> sizeField;  // replaces the octal size text when set
};

// Headers and data padded to 512-byte blocks, then two zero blocks unless
// `endBlocks` is false.
std::string BuildTar(const std::vector<TarMember>& members, bool endBlocks = true);
// Bytes of a recognisable pattern (different per seed).
std::string Pattern(std::size_t size, unsigned seed);
// A Stratine member: 512-byte header with the three part sizes, padding to
// 8704 bytes, then the three parts.
std::string StratineData(const std::string& ums, const std::string& opt, const std::string& csc);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace tarn::test
