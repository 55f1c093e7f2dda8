// SPDX-License-Identifier: Apache-2.0
#include "host/start_plan.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "host/image_check.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::test::RawMember;
using tarn::test::TarBytes;
using tarn::test::TempDir;
using tarn::test::WriteBytes;

std::wstring W(const std::filesystem::path& path) { return path.wstring(); }

TEST(StartPlanPlatform, ClassifiesNamesInOrder) {
  struct Case {
    const wchar_t* name;
    bool accepted;
    int platform;
  } cases[] = {
      {L"MIRLANE_MASS_X.tar", true, 2},    {L"mirlane_x.tar", true, 1}, {L"Bexolt.tar", true, 2},
      {L"t4907_a.tar", true, 2},           {L"OSTRAVIND.tar", true, 1}, {L"dunvane.tar", true, 1},
      {L"mirlane_mass_test.tar", true, 0}, {L"xDATAFS.tar", true, 0},   {L"other.tar", false, -1},
      {L"amirlane.tar", false, -1},
  };
  for (const auto& c : cases) {
    PlatformCheck check = CheckPlatformByName(c.name);
    EXPECT_EQ(check.accepted, c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_TRUE(check.setsPlatform) << c.name;
      EXPECT_EQ(check.platform, c.platform) << c.name;
    }
  }
}

TEST(StartPlanPlatform, VaskIsAcceptedWithoutACode) {
  PlatformCheck check = CheckPlatformByName(L"VASK_1.tar");
  EXPECT_TRUE(check.accepted);
  EXPECT_FALSE(check.setsPlatform);

  StartInputs inputs;
  inputs.pda = L"/nowhere/VASK_1.tar";
  inputs.previousPlatform = 1;
  EXPECT_EQ(PlanStart(inputs).platform, 1);
}

TEST(StartPlanFileName, TakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileNameOfPath(L"/a/b/c.tar"), L"c.tar");
  EXPECT_EQ(FileNameOfPath(L"C:\\x\\y.tar"), L"y.tar");
  EXPECT_EQ(FileNameOfPath(L"plain.tar"), L"plain.tar");
}

TEST(StartPlanTarSizes, CountsOnlyTheSelectedNationOfPerNationMembers) {
  TempDir dir;
  WriteBytes(dir / "csc.tar", TarBytes({{"FRANCE.csc", 1000}, {"DE.csc", 2000}, {"modemFW", 300}}));
  std::uint32_t total = 5;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_CSC, W(dir / "csc.tar"), 1, &total), kStartOk);
  EXPECT_EQ(total, 5u + 1000 + 300);

  total = 0;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "csc.tar"), 2, &total), kStartOk);
  EXPECT_EQ(total, 2000u + 300);

  NationChoice choice = SelectNationFromCsc(W(dir / "csc.tar"));
  EXPECT_EQ(choice.result, kStartOk);
  EXPECT_EQ(choice.nation, 2);  // DE, the last per-nation member
}

TEST(StartPlanNation, NoPerNationMemberKeepsTheSelection) {
  TempDir dir;
  WriteBytes(dir / "csc.tar", TarBytes({{"logo.bin", 10}}));
  NationChoice choice = SelectNationFromCsc(W(dir / "csc.tar"));
  EXPECT_EQ(choice.result, kStartOk);
  EXPECT_EQ(choice.nation, -1);
  EXPECT_EQ(SelectNationFromCsc(W(dir / "missing.tar")).result, kStartFail);
}

TEST(StartPlanImageSize, PhoneBinaryAddsItsFileSize) {
  TempDir dir;
  WriteBytes(dir / "phone.bin", std::vector<unsigned char>(1000, 0xAB));
  std::uint32_t total = 24;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PHONE, W(dir / "phone.bin"), 0, &total), kStartOk);
  EXPECT_EQ(total, 1024u);
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_BOOT, W(dir / "phone.bin"), 0, &total), kStartFail);  // no START image
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PHONE, W(dir / "none.bin"), 0, &total), kStartFail);
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PHONE, W(dir.Path()), 0, &total), kStartFail);  // a folder
  EXPECT_EQ(total, 1024u);
}

TEST(StartPlanTarSizes, ArchiveShapes) {
  TempDir dir;
  std::uint32_t total = 0;
  // Empty file: nothing to add.
  WriteBytes(dir / "empty.tar", {});
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "empty.tar"), 0, &total), kStartOk);
  EXPECT_EQ(total, 0u);
  // A walk that ends at the file size without zero blocks, with a zero-size member.
  WriteBytes(dir / "nozero.tar", TarBytes({{"BOOT", 131072}, {"SBL", 0}, {"ZIMAGE", 131073}}, 0));
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "nozero.tar"), 0, &total), kStartOk);
  EXPECT_EQ(total, 131072u + 131073u);
  // A zero block ends the archive even when data follows.
  auto bytes = TarBytes({{"BOOT", 10}}, 1);
  auto tail = TarBytes({{"SBL", 20}});
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  WriteBytes(dir / "stop.tar", bytes);
  total = 0;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "stop.tar"), 0, &total), kStartOk);
  EXPECT_EQ(total, 10u);
}

TEST(StartPlanTarSizes, DamagedHeadersFailWithoutTouchingTheTotal) {
  TempDir dir;
  std::uint32_t total = 7;
  WriteBytes(dir / "letters.tar", TarBytes({{"BOOT", 0, "00000001x50"}}));
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "letters.tar"), 0, &total), kStartFail);
  WriteBytes(dir / "base256.tar", TarBytes({{"BOOT", 0, "\x80"}}));
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "base256.tar"), 0, &total), kStartFail);
  WriteBytes(dir / "huge.tar", TarBytes({{"BOOT", 0, "77777777777"}}));  // 8 GiB - 1
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "huge.tar"), 0, &total), kStartFail);
  // Data running past the end of the file.
  auto bytes = TarBytes({{"ZIMAGE", 4096}}, 0);
  bytes.resize(2048);
  WriteBytes(dir / "short.tar", bytes);
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "short.tar"), 0, &total), kStartFail);
  // A header cut short.
  bytes = TarBytes({{"BOOT", 512}}, 0);
  bytes.resize(bytes.size() + 100, 'x');
  WriteBytes(dir / "cut.tar", bytes);
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "cut.tar"), 0, &total), kStartFail);
  EXPECT_EQ(total, 7u);
}

TEST(StartPlanTarSizes, SpaceTerminatedAndEmptySizeFieldsAreRead) {
  TempDir dir;
  WriteBytes(dir / "old.tar", TarBytes({{"BOOT", 8, "     10 "}, {"SBL", 0, "            "}}));
  std::uint32_t total = 0;
  ASSERT_EQ(CalcImageSize(IMAGE_MASK_PDA, W(dir / "old.tar"), 0, &total), kStartOk);
  EXPECT_EQ(total, 8u);
}

TEST(StartPlanTarSizes, NameWithoutNulIsCutAtItsField) {
  TempDir dir;
  // 100 characters ending in "csc": a nation member of nation 0, skipped for nation 1.
  // Read past its field, the name would run into the mode digits and count.
  std::string name = std::string(96, 'n') + ".csc";
  WriteBytes(dir / "long.tar", TarBytes({{name, 700}, {"modemFW", 5}}));
  std::uint32_t total = 0;
  ASSERT_EQ(CalcImageSize(IMAGE_MASK_CSC, W(dir / "long.tar"), 1, &total), kStartOk);
  EXPECT_EQ(total, 5u);
}

TEST(StartPlanImageSize, FilesOf4GiBAreRefused) {
  TempDir dir;
  int fd = open((dir / "big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0x100000000LL), 0);  // sparse
  close(fd);
  std::uint32_t total = 0;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PHONE, W(dir / "big.bin"), 0, &total), kStartFail);
  EXPECT_EQ(total, 0u);
}

TEST(StartPlanImageSize, TotalThatWouldWrapIsRefused) {
  TempDir dir;
  WriteBytes(dir / "phone.bin", std::vector<unsigned char>(100, 1));
  std::uint32_t total = 0xFFFFFFF0u;
  EXPECT_EQ(CalcImageSize(IMAGE_MASK_PHONE, W(dir / "phone.bin"), 0, &total), kStartFail);
  EXPECT_EQ(total, 0xFFFFFFF0u);
}

TEST(StartPlanOptions, FillsTheRecordAsStartDoes) {
  StartChoices choices;
  choices.stratineAll = false;
  choices.stratineOpt = true;
  choices.platform = -1;
  ENGINE_OPTIONS o = BuildEngineOptions(choices);
  EXPECT_EQ(o.bBootUpdate, 1);
  EXPECT_EQ(o.bBootFormat, 0);
  EXPECT_EQ(o.bCsaClear, 0);
  EXPECT_EQ(o.bAutoReboot, 1);
  EXPECT_EQ(o.bNpsMode, 0);
  EXPECT_EQ(o.bStratineAll, 0);
  EXPECT_EQ(o.nStratineParts, 2);
  EXPECT_EQ(o.nPlatform, -1);
  EXPECT_EQ(o.nReserved, 0);

  choices = StartChoices{};
  choices.bootUpdate = false;
  choices.bootFormat = true;
  choices.stratineUms = choices.stratineCsc = true;
  o = BuildEngineOptions(choices);
  EXPECT_EQ(o.bBootUpdate, 1);  // Boot Format forces Boot Update
  EXPECT_EQ(o.bBootFormat, 1);
  EXPECT_EQ(o.nStratineParts, 5);
}

TEST(StartPlanMask, NamedAndTickedImagesOnly) {
  EXPECT_EQ(BuildImageMask(L"p", true, L"c", true, L"f", true), 11);
  EXPECT_EQ(BuildImageMask(L"p", false, L"", true, L"f", true), IMAGE_MASK_PHONE);
  EXPECT_EQ(BuildImageMask(L"", true, L"", true, L"", true), 0);
}

TEST(StartPlanWhole, RefusalsAndPlatform) {
  StartInputs inputs;
  EXPECT_EQ(PlanStart(inputs).refusal, StartRefusal::EmptyFileNames);
  inputs.pda = L"/x/other.tar";
  EXPECT_EQ(PlanStart(inputs).refusal, StartRefusal::PlatformRefused);

  TempDir dir;
  WriteBytes(dir / "phone.bin", std::vector<unsigned char>(1000, 1));
  inputs = StartInputs{};
  inputs.phone = W(dir / "phone.bin");
  inputs.phoneTicked = true;
  inputs.csc = W(dir / "missing_csc.tar");
  inputs.cscTicked = true;
  inputs.choices.stratineAll = false;
  inputs.choices.stratineCsc = true;
  StartPlan plan = PlanStart(inputs);
  EXPECT_EQ(plan.refusal, StartRefusal::None);
  EXPECT_EQ(plan.platform, 0);
  EXPECT_EQ(plan.imageMask, IMAGE_MASK_PHONE | IMAGE_MASK_CSC);
  EXPECT_EQ(plan.unreadableMask, IMAGE_MASK_CSC);
  EXPECT_EQ(plan.totalSize, 1000u);
  EXPECT_EQ(plan.stratineMode, 4);
  EXPECT_EQ(plan.options.nStratineParts, 4);
  EXPECT_EQ(plan.options.nPlatform, 0);
}

TEST(StartPlanWhole, ImagesWithNothingToSendRefuseTheStart) {
  TempDir dir;
  WriteBytes(dir / "mirlane_empty.tar", {});
  WriteBytes(dir / "mirlane_zeros.tar", TarBytes({}, 2));  // the first header is all zeros
  auto onlyFolder = TarBytes({{"sub/", 0}});
  onlyFolder[156] = '5';  // a directory entry is no member
  WriteBytes(dir / "csc_folder.tar", onlyFolder);
  WriteBytes(dir / "csc_france.tar", TarBytes({{"FRANCE.csc", 40}}));
  WriteBytes(dir / "empty.bin", {});
  struct Case {
    std::string pda, csc, phone;
    const wchar_t* text;  // the refusal, followed by the path; nullptr: START goes on
  } cases[] = {
      {"mirlane_empty.tar", "", "", L"e - the PDA archive holds no files: "},
      {"mirlane_zeros.tar", "", "", L"e - the PDA archive holds no files: "},
      {"", "csc_folder.tar", "", L"e - the CSC archive holds no files: "},
      {"", "", "empty.bin", L"e - the phone binary is empty: "},
      // Members of other nations only are skipped by design, not missing.
      {"", "csc_france.tar", "", nullptr},
  };
  for (const auto& c : cases) {
    StartInputs inputs;
    inputs.pda = c.pda.empty() ? L"" : W(dir / c.pda);
    inputs.csc = c.csc.empty() ? L"" : W(dir / c.csc);
    inputs.phone = c.phone.empty() ? L"" : W(dir / c.phone);
    inputs.pdaTicked = inputs.cscTicked = inputs.phoneTicked = true;
    inputs.selectedNation = 2;
    const StartPlan plan = PlanStart(inputs);
    const std::string what = c.pda + c.csc + c.phone;
    EXPECT_EQ(plan.unreadableMask, 0) << what;
    if (c.text == nullptr) {
      EXPECT_EQ(plan.refusal, StartRefusal::None) << what;
      EXPECT_EQ(plan.totalSize, 0u) << what;
      continue;
    }
    EXPECT_EQ(plan.refusal, StartRefusal::NothingToSend) << what;
    EXPECT_EQ(plan.refusalText, c.text + W(dir / what)) << what;
  }
}

// Every cause of a refusal is found before a phone is touched, one line each,
// in the order: the file, the PDA name's platform, the archive's members.
TEST(ImageCheck, RefusalsNameTheCause) {
  TempDir dir;
  std::filesystem::create_directory(dir / "test_folder.tar");
  WriteBytes(dir / "test_readme.tar", TarBytes({{"README.txt", 10}}));
  WriteBytes(dir / "test_mixed.tar", TarBytes({{"ZIMAGE", 10}, {"a.txt", 1}, {"BOOT.bin", 4}, {"b", 2}}));
  WriteBytes(dir / "other.tar", TarBytes({{"ZIMAGE", 10}}));
  WriteBytes(dir / "test_broken.tar", std::vector<unsigned char>(512, 'x'));
  WriteBytes(dir / "test_locked.tar", TarBytes({{"ZIMAGE", 10}}));
  chmod((dir / "test_locked.tar").c_str(), 0);
  const bool root = geteuid() == 0;  // root reads any file
  const std::wstring d = W(dir.Path()) + L"/";
  struct Case {
    std::string pda, csc;
    std::vector<std::wstring> lines;
  } cases[] = {
      {"test_missing.tar", "", {L"e - the PDA image does not exist: " + d + L"test_missing.tar"}},
      {"missing.tar",
       "",
       {L"e - the PDA image does not exist: " + d + L"missing.tar",
        L"e - the PDA file name names no known platform: missing.tar"}},
      {"test_folder.tar", "", {L"e - the PDA image is not a regular file: " + d + L"test_folder.tar"}},
      {"test_readme.tar",
       "",
       {L"e - the PDA archive " + d +
        L"test_readme.tar holds files no job can send: \"README.txt\" (see IMAGES in tarn-flash(1))"}},
      {"",
       "test_mixed.tar",
       {L"e - the CSC archive " + d +
        L"test_mixed.tar holds files no job can send: \"a.txt\", \"b\" (see IMAGES in tarn-flash(1))"}},
      {"other.tar", "", {L"e - the PDA file name names no known platform: other.tar"}},
      {"test_broken.tar", "", {L"e - the PDA archive " + d + L"test_broken.tar is damaged: "}},
      {"test_locked.tar",
       "",
       {root ? L"" : L"e - the PDA image cannot be read: " + d + L"test_locked.tar: Permission denied"}},
      {"test_readme.tar",
       "test_folder.tar",
       {L"e - the PDA archive " + d +
            L"test_readme.tar holds files no job can send: \"README.txt\" (see IMAGES in tarn-flash(1))",
        L"e - the CSC image is not a regular file: " + d + L"test_folder.tar"}},
  };
  for (const auto& c : cases) {
    const auto lines = CheckImages(c.pda.empty() ? L"" : d + W(c.pda), c.csc.empty() ? L"" : d + W(c.csc), L"");
    const std::string what = c.pda + " " + c.csc;
    if (c.lines[0].empty()) {
      EXPECT_TRUE(lines.empty()) << what;
      continue;
    }
    ASSERT_EQ(lines.size(), c.lines.size()) << what;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << what;
  }
  EXPECT_TRUE(CheckImages(d + L"test_mixed.tar", L"", L"").size() == 1);
  WriteBytes(dir / "test_good.tar", TarBytes({{"ZIMAGE", 10}, {"STRATINE.img", 3}, {"FRANCE.csc", 2}}));
  EXPECT_TRUE(CheckImages(d + L"test_good.tar", d + L"test_good.tar", d + L"test_good.tar").empty());
}

// What inspect shows: each member's role and what the options would send.
TEST(ImageCheck, ListingAndWhatTheOptionsSend) {
  TempDir dir;
  WriteBytes(dir / "test_p.tar", TarBytes({{"BOOT.bin", 100}, {"SBL.bin", 50}, {"ZIMAGE", 10}, {"STRATINE.img", 7}}));
  WriteBytes(dir / "c.tar", TarBytes({{"FRANCE.csc", 3}, {"UK.csc", 5}}));
  WriteBytes(dir / "phone.bin", std::vector<unsigned char>(9, 1));
  const ImageListing pda = ListImageOfUnknownKind(W(dir / "test_p.tar"));
  EXPECT_EQ(pda.kind, IMAGE_MASK_PDA);
  EXPECT_TRUE(pda.platform.accepted);
  ASSERT_EQ(pda.members.size(), 4u);
  EXPECT_EQ(pda.members[1].partition, 1);
  EXPECT_EQ(pda.members[3].role, MemberRole::Stratine);
  EXPECT_EQ(BytesSent(pda, {true, 0}), 167u);
  EXPECT_EQ(BytesSent(pda, {false, 0}), 17u);
  const BootFormatPlan format = PlanBootFormat(pda);
  EXPECT_TRUE(format.formats);
  EXPECT_EQ(format.blockBytes, 131072u + 100u);

  const ImageListing csc = ListImageOfUnknownKind(W(dir / "c.tar"));
  EXPECT_EQ(csc.kind, IMAGE_MASK_CSC);
  EXPECT_TRUE(csc.refusals.empty());
  EXPECT_EQ(csc.members[1].nation, 9);
  EXPECT_EQ(BytesSent(csc, {true, 1}), 3u);
  EXPECT_EQ(BytesSent(csc, {true, 9}), 5u);
  EXPECT_FALSE(PlanBootFormat(csc).formats);

  const ImageListing phone = ListImageOfUnknownKind(W(dir / "phone.bin"));
  EXPECT_EQ(phone.kind, IMAGE_MASK_PHONE);
  ASSERT_EQ(phone.members.size(), 1u);
  EXPECT_EQ(phone.members[0].role, MemberRole::PhoneBinary);
  EXPECT_EQ(BytesSent(phone, {false, 3}), 9u);
}

}  // namespace
