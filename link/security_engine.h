// SPDX-License-Identifier: Apache-2.0
// Which members need the 72-byte info block older boot loaders expect, and
// building that block.
#pragma once

#include <cstdint>

#include "wire/image_member.h"
#include "wire/info_block.h"

class CSecurityEngine {
 public:
  CSecurityEngine() = default;
  virtual ~CSecurityEngine() = default;

  // `loaderVersion` only goes to the log line.
  bool NeedsInfoBlock(int loaderVersion, const IMAGE_MEMBER& member) const;
  // Writes the 72 bytes at `destination`.
  void BuildInfoBlock(const IMAGE_MEMBER& member, std::uint8_t* destination, std::uint32_t size) const;
};
