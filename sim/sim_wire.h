// SPDX-License-Identifier: Apache-2.0
// Little-endian words as the phone reads and writes them.
#pragma once

#include <cstdint>

namespace tarn::sim {

inline std::uint32_t Le32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

inline void PutLe32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace tarn::sim
