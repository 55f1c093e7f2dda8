// SPDX-License-Identifier: Apache-2.0
#include "wire/device_params.h"

#include <cstring>

#include "wire/little_endian.h"

namespace {
constexpr int kWordCount = 1 + kParamReservedWords + kParamPartitionWords;
}  // namespace

void EncodeParams(const DEVICE_PARAMS& params, std::uint8_t out[kDeviceParamsSize]) {
  std::uint32_t words[kWordCount];
  words[0] = static_cast<std::uint32_t>(params.nation);
  std::memcpy(words + 1, params.reserved, sizeof(params.reserved));
  std::memcpy(words + 1 + kParamReservedWords, params.sizes, sizeof(params.sizes));
  for (int i = 0; i < kWordCount; ++i) WriteLe32(out + 4 * i, words[i]);
}

DEVICE_PARAMS DecodeParams(const std::uint8_t in[kDeviceParamsSize]) {
  DEVICE_PARAMS params{};
  params.nation = static_cast<std::int32_t>(ReadLe32(in));
  for (int i = 0; i < kParamReservedWords; ++i) params.reserved[i] = ReadLe32(in + 4 * (1 + i));
  for (int i = 0; i < kParamPartitionWords; ++i) {
    params.sizes[i] = ReadLe32(in + 4 * (1 + kParamReservedWords + i));
  }
  return params;
}
