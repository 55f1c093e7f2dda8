// SPDX-License-Identifier: Apache-2.0
// The phone's parameter record: its nation and partition sizes.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

constexpr DWORD kDeviceParamsSize = 68;
constexpr int kParamReservedWords = 6;
constexpr int kParamPartitionWords = 10;

struct DEVICE_PARAMS {
  std::int32_t nation;
  std::uint32_t reserved[kParamReservedWords];  // sent back as the phone gave them
  std::uint32_t sizes[kParamPartitionWords];    // partition sizes as read, member sizes as written
};
static_assert(sizeof(DEVICE_PARAMS) == kDeviceParamsSize, "DEVICE_PARAMS is a 68-byte record");

void EncodeParams(const DEVICE_PARAMS& params, std::uint8_t out[kDeviceParamsSize]);
DEVICE_PARAMS DecodeParams(const std::uint8_t in[kDeviceParamsSize]);
