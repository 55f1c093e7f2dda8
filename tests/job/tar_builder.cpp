// SPDX-License-Identifier: Apache-2.0
#include "tests/job/tar_builder.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarn::test {

namespace {
constexpr std::size_t kBlock = 512;

void PutLe32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
}  // namespace

std::string BuildTar(const std::vector<TarMember>& members, bool endBlocks) {
  std::string out;
  for (const auto& m : members) {
    std::string header(kBlock, '\0');
    std::memcpy(header.data(), m.name.data(), std::min<std::size_t>(m.name.size(), 100));
    std::memcpy(header.data() + 100, "0000644", 7);
    char size[13];
    std::snprintf(size, sizeof(size), "%011llo", static_cast<unsigned long long>(m.data.size()));
    const std::string sizeText = m.sizeField.value_or(std::string(size));
    std::memcpy(header.data() + 124, sizeText.data(), std::min<std::size_t>(sizeText.size(), 12));
    header[156] = '0';
    std::memcpy(header.data() + 257, "ustar", 5);
    out += header;
    out += m.data;
    out.append((kBlock - m.data.size() % kBlock) % kBlock, '\0');
  }
  if (endBlocks) out.append(2 * kBlock, '\0');
  return out;
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

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace tarn::test
