// Walking tar images into the member table, and refusing broken ones before
// anything is sent.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/archive.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "engine/tables.h"
#include "platform/file_mapping.h"
#include "tests/job/tar_builder.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"

namespace {

using tarn::platform::CFileMapping;
using tarn::test::BuildTar;
using tarn::test::TarMember;

class JobArchiveIndex : public ::testing::Test {
 protected:
  std::int32_t Index(const std::string& image) {
    tarn::test::WriteFile(dir_ / "image.tar", image);
    mapping_ = CFileMapping::OpenFile((dir_ / "image.tar").string());
    if (!mapping_) return -1;
    return IndexArchive(*mapping_, job_, static_cast<std::uint32_t>(image.size()));
  }
  std::wstring Name(std::size_t i) const { return job_.m_members.at(i)->szName; }

  tarn::test::TempDir dir_;
  tarn::test::RecordingHost host_;
  CKelpa3Engine job_;
  std::unique_ptr<CFileMapping> mapping_;
};

TEST_F(JobArchiveIndex, MembersInArchiveOrderWithOffsetsTypesAndInfoBlockFlag) {
  const std::string withBlock = std::string("OFNI") + tarn::test::Pattern(100, 1);
  ASSERT_EQ(Index(BuildTar({{"zImage", tarn::test::Pattern(1000, 2)},
                            {"factoryfs.rfs", withBlock},
                            {"sbl.bin.del", "x"},
                            {"ZUDARIDA.csc", ""}})),
            RESULT_OK);
  ASSERT_EQ(job_.m_members.size(), 4u);
  const auto& z = *job_.m_members[0];
  EXPECT_EQ(z.dwOffset, 512u);
  EXPECT_EQ(z.dwSize, 1000u);
  EXPECT_EQ(z.wPartition, 3);
  EXPECT_EQ(z.wType, IMAGE_TYPE_RAW);
  EXPECT_EQ(z.bNoInfoBlock, 1);
  const auto& fs = *job_.m_members[1];
  EXPECT_EQ(fs.dwOffset, 512u + 1024u + 512u);  // two data blocks for 1000 bytes
  EXPECT_EQ(fs.wType, IMAGE_TYPE_FS);
  EXPECT_EQ(fs.bNoInfoBlock, 0);
  EXPECT_EQ(job_.m_members[2]->bDel, 1);
  EXPECT_EQ(job_.m_members[3]->dwSize, 0u);
  EXPECT_EQ(job_.m_wFilesTotal, 4);
  EXPECT_TRUE(host_.Errors().empty());
}

TEST_F(JobArchiveIndex, EmptyArchivesAndWalksThatEndAtTheImageSize) {
  EXPECT_EQ(Index(std::string(1024, '\0')), RESULT_OK);
  EXPECT_TRUE(job_.m_members.empty());
  // No zero blocks: the walk stops when the next header would be at the end.
  EXPECT_EQ(Index(BuildTar({{"zImage", "abc"}, {"PARAM", tarn::test::Pattern(512, 3)}}, false)), RESULT_OK);
  ASSERT_EQ(job_.m_members.size(), 2u);
  // A zero-size member takes no data blocks: the next header follows at once.
  job_.FreeMembers();
  EXPECT_EQ(Index(BuildTar({{"zImage", ""}, {"initrd", "12"}})), RESULT_OK);
  ASSERT_EQ(job_.m_members.size(), 2u);
  EXPECT_EQ(job_.m_members[1]->dwOffset, 1024u);
}

TEST_F(JobArchiveIndex, LongNamesAreClassifiedWholeAndStoredCut) {
  const std::string longCsc = "a-very-long-customer-name-for-FRANCE.csc";  // 40 characters
  std::string hundred(100, 'x');
  hundred.replace(97, 3, "csc");  // 100 bytes and no NUL in the name field
  ASSERT_EQ(Index(BuildTar({{longCsc, "1"}, {hundred, "2"}})), RESULT_OK);
  ASSERT_EQ(job_.m_members.size(), 2u);
  EXPECT_EQ(job_.m_members[0]->wType, IMAGE_TYPE_CSC);
  EXPECT_EQ(Name(0), std::wstring(longCsc.begin(), longCsc.begin() + 31));
  EXPECT_EQ(job_.m_members[1]->wType, IMAGE_TYPE_CSC);
  EXPECT_EQ(Name(1).size(), 31u);
}

TEST_F(JobArchiveIndex, UnknownMemberFailsNamingIt) {
  EXPECT_EQ(Index(BuildTar({{"zImage", "a"}, {"readme.txt", "b"}})), RESULT_FAIL);
  ASSERT_EQ(host_.Errors().size(), 1u);
  EXPECT_EQ(host_.Errors()[0], L"e - unknown file - \"readme.txt\"");
}

TEST_F(JobArchiveIndex, BrokenHeadersFailBeforeAnythingIsSent) {
  // Data that runs past the end of the image.
  std::string cut = BuildTar({{"zImage", tarn::test::Pattern(5000, 4)}}, false);
  cut.resize(512 + 4000);
  EXPECT_EQ(Index(cut), RESULT_FAIL);
  // A size field that is not octal.
  EXPECT_EQ(Index(BuildTar({{"zImage", "abc", std::string("00000000089")}})), RESULT_FAIL);
  // A header cut short by the end of the image.
  EXPECT_EQ(Index(BuildTar({{"zImage", "abc"}}, false) + std::string(100, 'z')), RESULT_FAIL);
  const auto errors = host_.Errors();
  ASSERT_EQ(errors.size(), 3u);
  for (const auto& e : errors) EXPECT_EQ(e.rfind(L"e - ", 0), 0u) << std::string(e.begin(), e.end());
  EXPECT_NE(errors[0].find(L"runs past the end"), std::wstring::npos);
  EXPECT_NE(errors[1].find(L"not an octal number"), std::wstring::npos);
}

TEST(JobParseOctal, AcceptsTarFormsAndRefusesTheRest) {
  EXPECT_EQ(ParseOctal(""), 0);
  EXPECT_EQ(ParseOctal("00000000017"), 15);
  EXPECT_EQ(ParseOctal("   17 "), 15);
  EXPECT_EQ(ParseOctal("37777777777"), 0xFFFFFFFFll);
  EXPECT_EQ(ParseOctal("40000000000"), -1);  // 4 GiB
  EXPECT_EQ(ParseOctal("0008"), -1);
  EXPECT_EQ(ParseOctal("12 3"), -1);
  std::uint32_t afterNul = 0;
  EXPECT_TRUE(ParseOctalField("000017 \0xyzw", 12, &afterNul));
  EXPECT_EQ(afterNul, 15u);
  std::uint32_t v = 0;
  // All twelve bytes digits, no terminator.
  EXPECT_TRUE(ParseOctalField("000000000012", 12, &v));
  EXPECT_EQ(v, 10u);
}

}  // namespace
