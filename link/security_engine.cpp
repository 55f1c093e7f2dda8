// SPDX-License-Identifier: Apache-2.0
#include "link/security_engine.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/image_member.h"
#include "engine/kelpa3_engine.h"
#include "engine/tables.h"
#include "link/protocol.h"
#include "platform/text.h"
#include "support/log.h"

namespace {

constexpr const char* kModule = "./SecurityEngine";
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kSignatureBytes = 32;
constexpr std::size_t kSizeOffset = 36;
constexpr std::size_t kModelOffset = 40;
constexpr std::size_t kModelBytes = 32;

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

int CSecurityEngine::NeedsInfoBlock(const CKelpa3Engine& job, const IMAGE_MEMBER& member) const {
  TLOG_FILE(kModule, L"checking signature. Keld version is %d.\n", job.m_nKeldVersionCopy);
  switch (member.wType) {
    case IMAGE_TYPE_STRATINE:
    case IMAGE_TYPE_PHONE:
      return 1;
    case IMAGE_TYPE_RAW:
      if (member.wPartition == PARTITION_BOOT) return 0;
      if (member.wPartition == PARTITION_SBL && member.bDel == 0) return 0;
      return member.bNoInfoBlock != 0 ? 1 : 0;
    default:
      return 0;
  }
}

void CSecurityEngine::BuildInfoBlock(const IMAGE_MEMBER& member, std::uint8_t* destination, std::uint32_t size) const {
  std::uint8_t block[kInfoBlockSize] = {};
  WriteLe32(block, kInfoBlockMagic);
  std::memset(block + kSignatureOffset, 0xFF, kSignatureBytes);
  WriteLe32(block + kSizeOffset, size);
  char model[kModelBytes + 1] = {};
  std::snprintf(model, sizeof(model), "XR-M4410QA00%c", ImageLetter(member));
  std::memcpy(block + kModelOffset, model, kModelBytes);
  std::memcpy(destination, block, kInfoBlockSize);
}
