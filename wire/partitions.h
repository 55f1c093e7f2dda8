// SPDX-License-Identifier: Apache-2.0
// Partition codes and image types as the boot loader knows them.
#pragma once

#include <cstdint>

enum ImageType : std::int16_t {
  IMAGE_TYPE_LOGO = 1,
  IMAGE_TYPE_RAW = 2,
  IMAGE_TYPE_FS = 3,
  IMAGE_TYPE_FW = 4,
  IMAGE_TYPE_STRATINE = 5,
  IMAGE_TYPE_PHONE = 6,
  IMAGE_TYPE_CSC = 7,
};

constexpr std::int16_t PARTITION_BOOT = 0;
constexpr std::int16_t PARTITION_SBL = 1;
constexpr std::int16_t PARTITION_STRATINE = 20;
constexpr std::int16_t PARTITION_CSC = 23;
constexpr std::int16_t PARTITION_FW = 31;
constexpr std::int16_t PARTITION_PHONE = 32;

constexpr int kPartitionCount = 10;

// The room BOOT gets at the start of the first boot block a boot format
// writes; SBL follows it.
constexpr std::uint32_t kBootAreaSize = 131072;
