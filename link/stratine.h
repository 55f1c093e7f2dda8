// SPDX-License-Identifier: Apache-2.0
// Writing the parts of the Stratine member (UMS, OPT, CSC) one by one.
#pragma once

#include <cstdint>

class CKelpa3Engine;
struct IMAGE_MEMBER;
namespace tarn::platform {
class CFileMapping;
}

constexpr std::uint32_t kStratineHeaderSize = 512;
constexpr std::uint32_t kStratineDataOffset = 8704;  // 17 blocks before part 1; never sent
constexpr int kStratinePartCount = 3;

// Sends the parts selected in `partMask` (bit 0 UMS, bit 1 OPT, bit 2 CSC),
// each to partition code member + k. 1 or 255.
int SendStratineParts(CKelpa3Engine& job, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping,
                      int partMask);
