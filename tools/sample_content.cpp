// SPDX-License-Identifier: Apache-2.0
#include "tools/sample_content.h"

namespace tarn::tools {

SampleBytes::SampleBytes(std::string_view seedName) {
  // FNV-1a of the name; never zero, which would stall the generator.
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : seedName) hash = (hash ^ c) * 1099511628211ull;
  state_ = hash ? hash : 1;
}

void SampleBytes::Fill(unsigned char* out, std::size_t count) {
  for (std::size_t i = 0; i < count;) {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    std::uint64_t word = state_ * 2685821657736338717ull;
    for (int b = 0; b < 8 && i < count; ++b, ++i) out[i] = static_cast<unsigned char>(word >> (8 * b));
  }
}

}  // namespace tarn::tools
