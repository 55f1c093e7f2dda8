// SPDX-License-Identifier: Apache-2.0
// Data frames and the piece limits by image type and loader version.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

constexpr DWORD kFrameSize = 131072;
constexpr std::uint8_t kFrameFill = 0xFF;

constexpr DWORD kChunkLimitStratineCsc = 31457280;  // 30 MiB
constexpr DWORD kChunkLimitBelow7 = 62914560;       // 60 MiB
constexpr DWORD kChunkLimitFrom7 = 104857600;       // 100 MiB
constexpr DWORD kFsChunkLimitBelow7 = 64880640;
constexpr DWORD kFsChunkLimitFrom7 = 108134400;

// `bytes` rounded up to whole frames, as Ready announces them.
constexpr DWORD RoundUpToFrames(std::uint64_t bytes) {
  return static_cast<DWORD>((bytes + kFrameSize - 1) / kFrameSize * kFrameSize);
}
