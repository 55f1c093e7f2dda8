// SPDX-License-Identifier: Apache-2.0
// The 72-byte info block older boot loaders expect in front of some images.
#pragma once

#include <cstdint>

constexpr std::uint32_t kInfoBlockSize = 72;
constexpr std::uint32_t kInfoBlockMagic = 0x494E464F;  // "OFNI" little-endian
// A frame less the info block: the data that fits beside it.
constexpr std::uint32_t kSecurityFrameData = 131000;

// Writes the 72 bytes at `destination`: magic, an all-ones signature, the
// data size and the model text ending in the image's letter.
void EncodeInfoBlock(char imageLetter, std::uint32_t size, std::uint8_t* destination);
