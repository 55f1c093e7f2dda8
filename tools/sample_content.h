// SPDX-License-Identifier: Apache-2.0
// Deterministic bytes for sample images: the same name and size give the same
// content on every machine, so a phone's partitions can be compared with them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarn::tools {

class SampleBytes {
 public:
  explicit SampleBytes(std::string_view seedName);
  // Fills `count` bytes with the next bytes of the stream.
  void Fill(unsigned char* out, std::size_t count);

 private:
  std::uint64_t state_;
};

}  // namespace tarn::tools
