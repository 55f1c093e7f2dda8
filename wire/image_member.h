// SPDX-License-Identifier: Apache-2.0
// One recognised archive member (the phone binary is described by one too):
// where its data lies in the image and what the boot loader calls it.
#pragma once

#include <cstdint>

struct IMAGE_MEMBER {
  std::uint32_t dwOffset;     // offset of the member's data in the image
  std::uint32_t dwSize;       // data size in bytes
  std::int16_t wPartition;    // partition code
  std::int16_t wType;         // image type
  std::int32_t bDel;          // name got the del flag
  std::int32_t bNoInfoBlock;  // data does not begin with "OFNI"
  wchar_t szName[32];         // member name, cut to 31 characters
};
