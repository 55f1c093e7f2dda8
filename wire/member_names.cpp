// SPDX-License-Identifier: Apache-2.0
#include "wire/member_names.h"

#include "platform/text.h"

namespace {

const wchar_t* const kPartitionNames[kPartitionCount] = {L"BOOT",      L"SBL",    L"PARAM", L"ZIMAGE", L"INITRD",
                                                         L"FACTORYFS", L"DATAFS", L"",      L"",       L""};

struct Nation {
  const wchar_t* longName;
  const wchar_t* code;
};
const Nation kNations[kNationCount] = {
    {L"ZUDARIDA", L"ZUDARIDA"}, {L"FRANCE", L"FR"},      {L"GERMANY", L"DE"},  {L"GREECE", L"GR"}, {L"IRELAND", L"IE"},
    {L"ITALY", L"IT"},          {L"NETHERLANDS", L"NL"}, {L"PORTUGAL", L"PT"}, {L"SPAIN", L"ES"},  {L"UK", L"UK"}};

bool EqualNoCase(std::wstring_view a, std::wstring_view b) { return tarn::platform::EqualsAsciiNoCase(a, b); }

std::wstring_view BaseName(std::wstring_view name) {
  const std::size_t dot = name.find(L'.');
  return dot == std::wstring_view::npos ? name : name.substr(0, dot);
}

std::wstring_view LastChars(std::wstring_view name, std::size_t n) {
  return name.size() <= n ? name : name.substr(name.size() - n);
}

}  // namespace

const wchar_t* PartitionName(int code) { return code >= 0 && code < kPartitionCount ? kPartitionNames[code] : L""; }

const wchar_t* NationLongName(int index) { return index >= 0 && index < kNationCount ? kNations[index].longName : L""; }

const wchar_t* NationCode(int index) { return index >= 0 && index < kNationCount ? kNations[index].code : L""; }

int ClassifyMember(std::wstring_view name, std::int32_t* del, std::int16_t* type) {
  const std::wstring_view base = BaseName(name);
  const std::wstring_view end3 = LastChars(name, 3);
  for (int code = 0; code < kPartitionCount; ++code) {
    if (!EqualNoCase(base, kPartitionNames[code])) continue;
    if (EqualNoCase(end3, L"del")) {
      *del = 1;
      *type = IMAGE_TYPE_RAW;
    } else {
      // Only three-character endings are examined, so a name ending in
      // "ext3" is a raw image.
      *del = 0;
      *type = EqualNoCase(end3, L"rfs") || EqualNoCase(end3, L"lfs") ? IMAGE_TYPE_FS : IMAGE_TYPE_RAW;
    }
    return code;
  }
  if (EqualNoCase(base, L"STRATINE")) {
    *del = 0;
    *type = IMAGE_TYPE_STRATINE;
    return PARTITION_STRATINE;
  }
  if (EqualNoCase(end3, L"csc")) {
    *del = 0;
    *type = IMAGE_TYPE_CSC;
    return PARTITION_CSC;
  }
  if (LastChars(name, 2) == L"FW" && name.size() >= 2) {
    *del = 0;
    *type = IMAGE_TYPE_FW;
    return PARTITION_FW;
  }
  return -1;
}

int NationOfName(std::wstring_view name) {
  const std::wstring_view base = BaseName(name);
  for (int index = 0; index < kNationCount; ++index) {
    if (EqualNoCase(base, kNations[index].longName) || EqualNoCase(base, kNations[index].code)) return index;
  }
  return 0;
}
