// SPDX-License-Identifier: Apache-2.0
#include "tests/cli/tar_bytes.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace tarn::test {

std::vector<unsigned char> TarBytes(const std::vector<RawMember>& members, int zeroBlocks) {
  std::vector<unsigned char> out;
  for (const auto& member : members) {
    unsigned char header[512] = {};
    std::memcpy(header, member.name.data(), std::min<std::size_t>(member.name.size(), 100));
    std::memcpy(header + 100, "0000644", 8);
    std::string size = member.sizeField;
    if (size.empty()) {
      char octal[12];
      std::snprintf(octal, sizeof octal, "%011o", member.size);
      size = octal;
    }
    std::memcpy(header + 124, size.data(), std::min<std::size_t>(size.size(), 12));
    header[156] = '0';
    out.insert(out.end(), header, header + 512);
    for (std::uint32_t i = 0; i < member.size; ++i) out.push_back(static_cast<unsigned char>(i * 7));
    out.resize((out.size() + 511) / 512 * 512, 0);
  }
  out.resize(out.size() + 512 * static_cast<std::size_t>(zeroBlocks), 0);
  return out;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tarn::test
