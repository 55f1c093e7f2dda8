// SPDX-License-Identifier: Apache-2.0
// The 72-byte info block: which members need one, and its bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/security_engine.h"
#include "wire/partitions.h"

namespace {

IMAGE_MEMBER Member(const wchar_t* name, std::int16_t partition, std::int16_t type, int del = 0, int noBlock = 1) {
  IMAGE_MEMBER m{};
  m.wPartition = partition;
  m.wType = type;
  m.bDel = del;
  m.bNoInfoBlock = noBlock;
  std::wcsncpy(m.szName, name, 31);
  return m;
}

std::string ModelOf(const IMAGE_MEMBER& member) {
  CSecurityEngine security;
  std::uint8_t block[kInfoBlockSize + 4];
  std::memset(block, 0xAB, sizeof(block));
  security.BuildInfoBlock(member, block, 0x01020304);
  EXPECT_EQ(block[kInfoBlockSize], 0xAB);  // exactly 72 bytes written
  return std::string(reinterpret_cast<const char*>(block + 40));
}

TEST(LinkInfoBlock, LayoutAndImageLetters) {
  CSecurityEngine security;
  std::uint8_t block[kInfoBlockSize];
  security.BuildInfoBlock(Member(L"zImage", 3, IMAGE_TYPE_RAW), block, 0x01020304);
  EXPECT_EQ(std::memcmp(block, "OFNI", 4), 0);
  for (int i = 4; i < 36; ++i) EXPECT_EQ(block[i], 0xFF) << i;
  EXPECT_EQ(block[36], 0x04);
  EXPECT_EQ(block[39], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block + 40)), "XR-M4410QA00K");
  for (int i = 40 + 13; i < 72; ++i) EXPECT_EQ(block[i], 0) << i;

  EXPECT_EQ(ModelOf(Member(L"initrd.img", 4, IMAGE_TYPE_RAW)), "XR-M4410QA00R");
  EXPECT_EQ(ModelOf(Member(L"SBL.bin", 1, IMAGE_TYPE_RAW)), "XR-M4410QA00B");
  EXPECT_EQ(ModelOf(Member(L"param.lfs", 2, IMAGE_TYPE_FS)), "XR-M4410QA00P");
}

TEST(LinkInfoBlock, WhichMembersNeedOne) {
  CSecurityEngine security;
  const int version = 5;  // only goes to the log
  EXPECT_FALSE(security.NeedsInfoBlock(version, Member(L"boot.bin", PARTITION_BOOT, IMAGE_TYPE_RAW, 0, 1)));
  EXPECT_FALSE(security.NeedsInfoBlock(version, Member(L"sbl.bin", PARTITION_SBL, IMAGE_TYPE_RAW, 0, 1)));
  EXPECT_TRUE(security.NeedsInfoBlock(version, Member(L"sbl.del", PARTITION_SBL, IMAGE_TYPE_RAW, 1, 1)));
  EXPECT_FALSE(security.NeedsInfoBlock(version, Member(L"zImage", 3, IMAGE_TYPE_RAW, 0, 0)));  // carries its own
  EXPECT_TRUE(security.NeedsInfoBlock(version, Member(L"zImage", 3, IMAGE_TYPE_RAW, 0, 1)));
  EXPECT_TRUE(security.NeedsInfoBlock(version, Member(L"STRATINE", 20, IMAGE_TYPE_STRATINE)));
  EXPECT_TRUE(security.NeedsInfoBlock(version, Member(L"modem", 32, IMAGE_TYPE_PHONE)));
  EXPECT_FALSE(security.NeedsInfoBlock(version, Member(L"FR.csc", 23, IMAGE_TYPE_CSC)));
}

}  // namespace
