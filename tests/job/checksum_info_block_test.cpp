// SPDX-License-Identifier: Apache-2.0
// The MD5 text of image pieces, and the 72-byte info block.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/checksum.h"
#include "engine/image_member.h"
#include "engine/kelpa3_engine.h"
#include "engine/tables.h"
#include "link/security_engine.h"
#include "platform/file_mapping.h"
#include "support/md5.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::platform::kAllocationGranularity;

TEST(JobChecksum, DigestCoversExactlyThePieceWhereverItStarts) {
  tarn::test::TempDir dir;
  tarn::test::RecordingHost host;
  const std::string bytes = tarn::test::Pattern(40 * kAllocationGranularity + 333, 9);
  tarn::test::WriteFile(dir / "image", bytes);
  auto mapping = tarn::platform::CFileMapping::OpenFile((dir / "image").string());
  ASSERT_TRUE(mapping);
  CKelpa3Engine job;
  // Starts mid-granule and spans several digest slices.
  const DWORD offset = kAllocationGranularity + 17;
  const DWORD size = 35 * kAllocationGranularity + 5;
  char text[kChecksumTextSize + 1] = {};
  ASSERT_EQ(ChecksumRange(size, job, *mapping, offset, text), 1);
  EXPECT_EQ(std::string(text), tarn::md5::DigestText(bytes.data() + offset, size));
  EXPECT_EQ(text[kChecksumTextSize], '\0');  // nothing written past the 32 characters
  EXPECT_TRUE(host.HasText(L"Make MD5 Checksum.. wait.."));
  EXPECT_TRUE(host.HasText(L"MD5 Checksum Completed.."));

  char buffered[kChecksumTextSize] = {};
  MakeChecksum(job, bytes.data() + offset, size, buffered);
  EXPECT_EQ(std::string(buffered, kChecksumTextSize), std::string(text));

  // A piece past the end of the image is refused, and the lock is left.
  EXPECT_EQ(ChecksumRange(1000, job, *mapping, static_cast<DWORD>(bytes.size()) - 10, text), 0);
  EXPECT_TRUE(g_csChecksum.TryEnter());
  g_csChecksum.Leave();
}

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

TEST(JobInfoBlock, LayoutAndImageLetters) {
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

TEST(JobInfoBlock, WhichMembersNeedOne) {
  CKelpa3Engine job;
  CSecurityEngine security;
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"boot.bin", PARTITION_BOOT, IMAGE_TYPE_RAW, 0, 1)), 0);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"sbl.bin", PARTITION_SBL, IMAGE_TYPE_RAW, 0, 1)), 0);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"sbl.del", PARTITION_SBL, IMAGE_TYPE_RAW, 1, 1)), 1);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"zImage", 3, IMAGE_TYPE_RAW, 0, 0)), 0);  // carries its own
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"zImage", 3, IMAGE_TYPE_RAW, 0, 1)), 1);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"STRATINE", 20, IMAGE_TYPE_STRATINE)), 1);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"modem", 32, IMAGE_TYPE_PHONE)), 1);
  EXPECT_EQ(security.NeedsInfoBlock(job, Member(L"FR.csc", 23, IMAGE_TYPE_CSC)), 0);
}

}  // namespace
