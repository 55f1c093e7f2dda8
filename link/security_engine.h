// SPDX-License-Identifier: Apache-2.0
// Which members need the 72-byte info block older boot loaders expect, and
// building that block.
#pragma once

#include <cstdint>

struct IMAGE_MEMBER;
class CKelpa3Engine;

constexpr std::uint32_t kInfoBlockSize = 72;
constexpr std::uint32_t kInfoBlockMagic = 0x494E464F;  // "OFNI" little-endian

class CSecurityEngine {
 public:
  CSecurityEngine() = default;
  virtual ~CSecurityEngine() = default;

  // Reads the loader version copy of `job` for its log line.
  int NeedsInfoBlock(const CKelpa3Engine& job, const IMAGE_MEMBER& member) const;
  // Writes the 72 bytes at `destination`.
  void BuildInfoBlock(const IMAGE_MEMBER& member, std::uint8_t* destination, std::uint32_t size) const;
};
