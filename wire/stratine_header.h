// SPDX-License-Identifier: Apache-2.0
// The Stratine member's header: the sizes of its three parts (UMS, OPT, CSC).
#pragma once

#include <cstdint>

#include "wire/little_endian.h"

constexpr std::uint32_t kStratineHeaderSize = 512;
constexpr std::uint32_t kStratineDataOffset = 8704;  // 17 blocks before part 1; never sent
constexpr int kStratinePartCount = 3;
// Part sizes sit at these header offsets.
constexpr std::uint32_t kStratinePartSizeOffsets[kStratinePartCount] = {16, 28, 40};

inline void DecodeStratinePartSizes(const std::uint8_t header[kStratineHeaderSize],
                                    std::uint32_t sizes[kStratinePartCount]) {
  for (int k = 0; k < kStratinePartCount; ++k) sizes[k] = ReadLe32(header + kStratinePartSizeOffsets[k]);
}
