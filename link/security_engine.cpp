// SPDX-License-Identifier: Apache-2.0
#include "link/security_engine.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "wire/partitions.h"
#include "support/log.h"

namespace {

constexpr const char* kModule = "./SecurityEngine";

bool SameNoCase(std::wstring_view a, std::wstring_view b) { return tarn::platform::EqualsAsciiNoCase(a, b); }

char ImageLetter(const IMAGE_MEMBER& member) {
  std::wstring_view name(member.szName, wcsnlen(member.szName, std::size(member.szName)));
  name = name.substr(0, name.find(L'.'));
  if (SameNoCase(name, L"sbl")) return 'B';
  if (SameNoCase(name, L"zImage")) return 'K';
  if (SameNoCase(name, L"initrd")) return 'R';
  const std::string narrow = tarn::platform::Narrow(name);
  return narrow.empty() ? '\0' : tarn::platform::AsciiUpper(narrow[0]);
}

}  // namespace

bool CSecurityEngine::NeedsInfoBlock(int loaderVersion, const IMAGE_MEMBER& member) const {
  TLOG_FILE(kModule, L"checking signature. Keld version is %d.\n", loaderVersion);
  switch (member.wType) {
    case IMAGE_TYPE_STRATINE:
    case IMAGE_TYPE_PHONE: return true;
    case IMAGE_TYPE_RAW:
      if (member.wPartition == PARTITION_BOOT) return false;
      if (member.wPartition == PARTITION_SBL && member.bDel == 0) return false;
      return member.bNoInfoBlock != 0;
    default: return false;
  }
}

void CSecurityEngine::BuildInfoBlock(const IMAGE_MEMBER& member, std::uint8_t* destination, std::uint32_t size) const {
  EncodeInfoBlock(ImageLetter(member), size, destination);
}
