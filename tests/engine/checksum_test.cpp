// SPDX-License-Identifier: Apache-2.0
// The MD5 text of image pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/checksum.h"
#include "engine/kelpa3_engine.h"
#include "platform/file_mapping.h"
#include "support/md5.h"
#include "tests/testsupport/test_images.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"

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
  ASSERT_TRUE(ChecksumRange(size, job, *mapping, offset, text));
  EXPECT_EQ(std::string(text), tarn::md5::DigestText(bytes.data() + offset, size));
  EXPECT_EQ(text[kChecksumTextSize], '\0');  // nothing written past the 32 characters
  EXPECT_TRUE(host.HasText(L"Make MD5 Checksum.. wait.."));
  EXPECT_TRUE(host.HasText(L"MD5 Checksum Completed.."));

  char buffered[kChecksumTextSize] = {};
  MakeChecksum(job, bytes.data() + offset, size, buffered);
  EXPECT_EQ(std::string(buffered, kChecksumTextSize), std::string(text));

  // A piece past the end of the image is refused, and the lock is left.
  EXPECT_FALSE(ChecksumRange(1000, job, *mapping, static_cast<DWORD>(bytes.size()) - 10, text));
  EXPECT_TRUE(g_csChecksum.TryEnter());
  g_csChecksum.Leave();
}

TEST(JobChecksum, DigestWorkedOutAheadIsTheDirectOneAndItsWorkerEnds) {
  tarn::test::TempDir dir;
  tarn::test::RecordingHost host;
  const std::string bytes = tarn::test::Pattern(20 * kAllocationGranularity + 77, 4);
  tarn::test::WriteFile(dir / "image", bytes);
  auto mapping = tarn::platform::CFileMapping::OpenFile((dir / "image").string());
  ASSERT_TRUE(mapping);
  CKelpa3Engine job;
  const DWORD offset = 3 * kAllocationGranularity + 5, size = 17 * kAllocationGranularity;
  char direct[kChecksumTextSize] = {}, ahead[kChecksumTextSize] = {};
  ASSERT_TRUE(ChecksumRange(size, job, *mapping, offset, direct));
  job.DigestNextPiece(*mapping, offset, size);
  ASSERT_TRUE(ChecksumRange(size, job, *mapping, offset, ahead));
  EXPECT_EQ(std::string(ahead, kChecksumTextSize), std::string(direct, kChecksumTextSize));
  const auto texts = host.Texts();
  EXPECT_EQ(2, std::count(texts.begin(), texts.end(), L"MD5 Checksum Completed.."));

  // A worker queued on the lock another job holds ends when its job does,
  // and a piece asked for ahead with a wrong size is digested directly.
  g_csChecksum.Enter();
  job.DigestNextPiece(*mapping, offset, size);
  job.m_digestAhead.End();
  g_csChecksum.Leave();
  job.DigestNextPiece(*mapping, offset, size + 1);
  ASSERT_TRUE(ChecksumRange(size, job, *mapping, offset, ahead));
  EXPECT_EQ(std::string(ahead, kChecksumTextSize), std::string(direct, kChecksumTextSize));

  // An image changed before the worker read it fails the piece with the
  // operator's text, as a direct digest would.
  g_csChecksum.Enter();
  job.DigestNextPiece(*mapping, offset, size);
  tarn::test::WriteFile(dir / "image", bytes.substr(0, 1000));
  g_csChecksum.Leave();
  EXPECT_FALSE(ChecksumRange(size, job, *mapping, offset, ahead));
  const auto errors = host.Errors();
  EXPECT_NE(std::find(errors.begin(), errors.end(),
                      L"e - the image changed while it was being sent: " + (dir / "image").wstring()),
            errors.end());
}

}  // namespace
