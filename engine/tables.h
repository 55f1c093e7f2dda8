// SPDX-License-Identifier: Apache-2.0
// Partition and nation tables: what an archive member is, from its name alone.
#pragma once

#include <cstdint>
#include <string_view>

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
constexpr int kNationCount = 10;

// Table name of partition code 0..9 ("" for 7 to 9).
const wchar_t* PartitionName(int code);
// Long name and code of nation 0..9.
const wchar_t* NationLongName(int index);
const wchar_t* NationCode(int index);

// Partition code of a member name, or -1 for an unknown name. `del` and `type`
// are written only when the result is not -1.
int ClassifyMember(std::wstring_view name, std::int32_t* del, std::int16_t* type);
// Nation index 0..9 of a CSC member name; 0 when no entry matches.
int NationOfName(std::wstring_view name);
