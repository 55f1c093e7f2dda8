// SPDX-License-Identifier: Apache-2.0
// Walking tar images into the member table, and refusing broken ones before
// anything is sent.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "engine/archive_index.h"
#include "engine/download_members.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "engine/tables.h"
#include "host/start_plan.h"
#include "platform/debug_output.h"
#include "platform/file_mapping.h"
#include "platform/text.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::platform::CFileMapping;
using tarn::test::BuildTar;
using tarn::test::Pattern;
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

// Archives as GNU tar writes them in each of its formats: only the regular
// files are members, named as the archive names them (pax path, GNU long
// name, ustar prefix, no "./"), and START's size walk counts exactly those.
TEST_F(JobArchiveIndex, ArchivesFromGnuTarHoldTheirRealFilesOnly) {
  struct File {
    std::string path, data;
  };
  struct Case {
    const char* what;
    std::string options;               // GNU tar's, before the names
    std::vector<File> files;           // written into the folder tar reads
    std::string names;                 // what tar is told to archive
    std::vector<std::string> members;  // paths of `files`, in archive order
  };
  const std::string paxLong = "zImage." + std::string(110, 'p');  // needs a pax path record
  const std::string gnuLong = "initrd." + std::string(110, 'g');  // needs a GNU long-name record
  const std::string deep = std::string(80, 'c') + "/" + std::string(50, 'd') + "/X-FRANCE.csc";  // ustar prefix
  const Case cases[] = {
      {"pax",
       "--format=pax",
       {{"zImage", Pattern(3000, 1)}, {"factoryfs.rfs", "OFNI" + Pattern(700, 2)}, {paxLong, Pattern(10, 3)}},
       "zImage factoryfs.rfs " + paxLong,
       {"zImage", "factoryfs.rfs", paxLong}},
      {"gnu",
       "--format=gnu",
       {{gnuLong, Pattern(2000, 4)}, {"sbl.bin", Pattern(5, 5)}},
       gnuLong + " sbl.bin",
       {gnuLong, "sbl.bin"}},
      {"ustar, ./ and directories",
       "--format=ustar --sort=name",
       {{"zImage", Pattern(100, 6)}, {deep, Pattern(600, 7)}},
       ".",
       {deep, "zImage"}},
      {"AppleDouble",
       "--format=ustar",
       {{"._zImage", std::string("\x00\x05\x16\x07resource", 12)}, {"zImage", Pattern(100, 8)}},
       "._zImage zImage",
       {"zImage"}},
  };
  std::vector<std::string> log;
  struct SinkGuard {
    tarn::platform::DebugSink previous;
    ~SinkGuard() { tarn::platform::SetDebugOutputSink(previous); }
  } sink{tarn::platform::SetDebugOutputSink([&log](std::string_view record) { log.emplace_back(record); })};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto source = dir_ / (std::string("src-") + c.what);
    std::map<std::string, std::string> data;
    for (const auto& file : c.files) {
      std::filesystem::create_directories((source / file.path).parent_path());
      tarn::test::WriteFile(source / file.path, file.data);
      data[file.path] = file.data;
    }
    const auto tarFile = dir_ / "made.tar";
    const std::string command = "tar " + c.options + " -cf '" + tarFile.string() + "' -C '" + source.string() + "' " +
                                c.names;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string tar = tarn::test::ReadFile(tarFile);

    job_.FreeMembers();
    ASSERT_EQ(Index(tar), RESULT_OK);
    ASSERT_EQ(job_.m_members.size(), c.members.size());
    std::uint32_t indexTotal = 0;
    for (std::size_t i = 0; i < c.members.size(); ++i) {
      const auto& member = *job_.m_members[i];
      const std::string& expected = data.at(c.members[i]);
      EXPECT_EQ(Name(i), tarn::platform::Widen(c.members[i].substr(0, 31))) << i;
      ASSERT_EQ(member.dwSize, expected.size()) << i;
      EXPECT_TRUE(tar.substr(member.dwOffset, member.dwSize) == expected) << i;
      indexTotal += member.dwSize;
    }
    std::uint32_t walkTotal = 0, walkMembers = 0;
    const auto image = tarn::platform::CFileMapping::OpenFile(tarFile.string());
    ASSERT_TRUE(image);
    EXPECT_EQ(SumTarSizes(*image, static_cast<std::uint32_t>(tar.size()), 0, &walkTotal, &walkMembers), kStartOk);
    EXPECT_EQ(walkTotal, indexTotal);
    EXPECT_EQ(walkMembers, c.members.size());
  }
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
    return line.find("\"._zImage\"") != std::string::npos && line.find("macOS resource fork") != std::string::npos;
  }));
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

// START's total is what the job sends, member for member, for every nation
// choice: names that look like per-nation members but name a partition, any
// case of "csc", names the index cuts, other nations, and a member no job
// knows (the job then refuses the whole archive).
TEST_F(JobArchiveIndex, StartCountsWhatTheJobSendsForEveryNation) {
  const std::string long31 = "PORTUGAL.some-customer-name.csc";         // 31 characters
  const std::string long40 = "GERMANY.a-rather-longer-label-name.csc";  // the index keeps 31
  std::string hundred(100, 'n');                                        // fills the name field: no NUL
  hundred.replace(0, 3, "UK.");
  hundred.replace(97, 3, "CSC");
  const std::vector<std::vector<std::string>> archives = {
      {"SBL.csc", "zImage"},
      {".CSC", "FRANCE.CsC", "uk.csc", "Es.cSc"},
      {long31, long40, hundred, "Stratine.csc", "param.CSC"},
      {"zImage", "FRANCE.csc", "DE.csc", "modemFW"},
      {"zImage", "readme.txt", "IT.csc"},
  };
  JobDescription task;
  task.options = {1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};  // Boot Update, whole Stratine
  RunState run = RunState::StartOf(task);
  run.loaderVersion = 7;
  for (std::size_t row = 0; row < archives.size(); ++row) {
    std::vector<TarMember> members;
    for (std::size_t i = 0; i < archives[row].size(); ++i) {
      members.push_back({archives[row][i], Pattern(100 * (i + 1) + row, static_cast<unsigned>(i))});
    }
    job_.FreeMembers();
    const bool indexed = Index(BuildTar(members)) == RESULT_OK;
    for (int nation = -1; nation < kNationCount; ++nation) {
      run.nation = nation;
      std::uint32_t sent = 0;
      for (const auto& member : job_.m_members) {
        if (indexed && Sends(PlanJobMember(task, run, *member))) sent += member->dwSize;
      }
      std::uint32_t total = 0;
      ASSERT_EQ(SumTarSizes(*mapping_, static_cast<std::uint32_t>(mapping_->Size()), nation, &total), kStartOk);
      EXPECT_EQ(total, sent) << "archive " << row << ", nation " << nation;
    }
  }
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

}  // namespace
