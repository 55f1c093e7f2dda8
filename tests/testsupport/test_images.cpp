// SPDX-License-Identifier: Apache-2.0
#include "tests/testsupport/test_images.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace tarn::test {

namespace {
void PutLe32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
}  // namespace

std::string BuildTar(const std::vector<TarMember>& members, bool endBlocks) {
  return tools::TarArchive(members, endBlocks ? 2 : 0);
}

std::vector<unsigned char> TarBytes(const std::vector<RawMember>& members, int zeroBlocks) {
  std::vector<TarMember> counted;
  for (const auto& member : members) {
    std::string data(member.size, '\0');
    for (std::uint32_t i = 0; i < member.size; ++i) data[i] = static_cast<char>(i * 7);
    std::optional<std::string> field;
    if (!member.sizeField.empty()) field = member.sizeField;
    counted.emplace_back(member.name, std::move(data), std::move(field));
  }
  const std::string archive = tools::TarArchive(counted, zeroBlocks);
  return std::vector<unsigned char>(archive.begin(), archive.end());
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

std::string StratineData(const std::string& ums, const std::string& opt, const std::string& csc) {
  std::string s(8704, '\0');
  PutLe32(s, 16, static_cast<std::uint32_t>(ums.size()));
  PutLe32(s, 28, static_cast<std::uint32_t>(opt.size()));
  PutLe32(s, 40, static_cast<std::uint32_t>(csc.size()));
  return s + ums + opt + csc;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace tarn::test
