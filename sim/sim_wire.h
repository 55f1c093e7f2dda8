// SPDX-License-Identifier: Apache-2.0
// The phone's side of the protocol as the simulator reads it: command codes,
// packet layout, answer status bytes and little-endian words. Written apart
// from the host's own definitions on purpose (see keld_sim.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn::sim {

constexpr std::size_t kPacketSize = 1024;
constexpr std::size_t kDigestOffset = 20;
constexpr std::size_t kFwNameOffset = 4;
constexpr std::size_t kFwNameSize = 16;
constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusFailed = 0xFF;

enum : int {
  kWriteBase = 500,
  kPhone = 600,
  kFw = 610,
  kStratine = 620,
  kReady = 700,
  kCsaClear = 701,
  kFormat = 702,
  kSetParam = 703,
  kGetParam = 704,
  kReset = 707,
  kEndFrames = 711,
  kGetVersion = 712,
  kGetPlatform = 713,
  kFinish = 714,
};

inline std::uint32_t Le32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

inline void PutLe32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace tarn::sim
