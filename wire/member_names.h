// SPDX-License-Identifier: Apache-2.0
// Partition and nation tables: what an archive member is, from its name alone.
#pragma once

#include <cstdint>
#include <string_view>

#include "wire/partitions.h"

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
