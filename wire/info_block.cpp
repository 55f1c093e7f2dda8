// SPDX-License-Identifier: Apache-2.0
#include "wire/info_block.h"

#include <cstdio>
#include <cstring>

#include "wire/little_endian.h"

namespace {
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kSignatureBytes = 32;
constexpr std::size_t kSizeOffset = 36;
constexpr std::size_t kModelOffset = 40;
constexpr std::size_t kModelBytes = 32;
}  // namespace

void EncodeInfoBlock(char imageLetter, std::uint32_t size, std::uint8_t* destination) {
  std::uint8_t block[kInfoBlockSize] = {};
  WriteLe32(block, kInfoBlockMagic);
  std::memset(block + kSignatureOffset, 0xFF, kSignatureBytes);
  WriteLe32(block + kSizeOffset, size);
  char model[kModelBytes + 1] = {};
  std::snprintf(model, sizeof(model), "XR-M4410QA00%c", imageLetter);
  std::memcpy(block + kModelOffset, model, kModelBytes);
  std::memcpy(destination, block, kInfoBlockSize);
}
