// SPDX-License-Identifier: Apache-2.0
// tarn-flash's pieces: arguments, set-up from the serial-port map, the text
// and JSON lines and the terminal bars.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/flash_args.h"
#include "cli/flash_setup.h"
#include "cli/json_report.h"
#include "cli/progress_view.h"
#include "cli/text_report.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"
#include "tools/sample_images.h"

namespace {

using namespace tarn::cli;
using tarn::test::TempDir;

struct Parsed {
  ParseOutcome outcome;
  FlashArgs args;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> words) {
  words.insert(words.begin(), "tarn-flash");
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  Parsed p;
  p.outcome = ParseFlashArgs(static_cast<int>(argv.size()), argv.data(), &p.args, &p.out, &p.err);
  return p;
}

// Captures what a FILE* receives.
class Capture {
 public:
  Capture() : file_(open_memstream(&data_, &size_)) {}
  ~Capture() {
    std::fclose(file_);
    std::free(data_);
  }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

class ScopedDeviceMap {
 public:
  ScopedDeviceMap() {
    std::filesystem::create_directories(dir_ / "SERIALCOMM");
    setenv("TARN_DEVICEMAP", dir_.Path().c_str(), 1);
  }
  ~ScopedDeviceMap() { unsetenv("TARN_DEVICEMAP"); }
  void Add(const std::string& name, const std::string& port) { std::ofstream(dir_ / ("SERIALCOMM/" + name)) << port; }

 private:
  TempDir dir_;
};

TEST(FlashArgs, DefaultsMirrorTheWindowAfterStartUp) {
  Parsed p = Parse({"--pda", "a.tar"});
  ASSERT_TRUE(p.outcome.run);
  EXPECT_FALSE(p.args.noBootUpdate);
  EXPECT_FALSE(p.args.bootFormat);
  EXPECT_FALSE(p.args.csaClear);
  EXPECT_FALSE(p.args.noAutoReboot);
  EXPECT_FALSE(p.args.noFactoryMode);
  EXPECT_EQ(p.args.stratine, "all");
  EXPECT_FALSE(p.args.nation.has_value());
  EXPECT_TRUE(p.args.ports.empty());
}

TEST(FlashArgs, EveryOptionAndPortOrder) {
  Parsed p = Parse({"--pda",
                    "a.tar",
                    "--csc",
                    "c.tar",
                    "--phone",
                    "m.bin",
                    "--port",
                    "12",
                    "--port",
                    "3",
                    "--port=-2",
                    "--no-boot-update",
                    "--boot-format",
                    "--csa-clear",
                    "--no-auto-reboot",
                    "--phone-boot-update",
                    "--no-factory-mode",
                    "--stratine",
                    "OPT",
                    "--nation",
                    "de",
                    "--json"});
  ASSERT_TRUE(p.outcome.run) << p.err;
  EXPECT_EQ(p.args.ports, (std::vector<int>{12, 3, -2}));
  EXPECT_TRUE(p.args.noBootUpdate && p.args.bootFormat && p.args.csaClear && p.args.noAutoReboot);
  EXPECT_TRUE(p.args.phoneBootUpdate && p.args.noFactoryMode && p.args.json);
  EXPECT_EQ(p.args.stratine, "opt");
  EXPECT_EQ(p.args.csc, "c.tar");
}

TEST(FlashArgs, WrongArgumentsAreRefusedWithExitTwo) {
  for (const auto& words :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"--stratine", "most"},
                                             {"--nation", "atlantis"},
                                             {"--nation", "10"},
                                             {"--port", "300"},
                                             {"--port", "0"},
                                             {"--port", "4", "--port", "4"},
                                             {"--port", "1", "--port", "2", "--port", "3", "--port", "4", "--port", "5",
                                              "--port", "6", "--port", "7", "--port", "8", "--port", "9"},
                                             {"--pda"}}) {
    Parsed p = Parse(words);
    EXPECT_FALSE(p.outcome.run) << words[0];
    EXPECT_EQ(p.outcome.exitCode, kExitRefused) << words[0];
    EXPECT_NE(p.err.find("tarn-flash: "), std::string::npos) << words[0];
  }
}

TEST(FlashArgs, HelpExitsZeroAndNamesEveryOption) {
  Parsed p = Parse({"--help"});
  EXPECT_FALSE(p.outcome.run);
  EXPECT_EQ(p.outcome.exitCode, kExitPassed);
  for (const char* option :
       {"--pda", "--csc", "--phone", "--port", "--no-boot-update", "--boot-format", "--csa-clear", "--no-auto-reboot",
        "--phone-boot-update", "--no-factory-mode", "--stratine", "--nation", "--json"}) {
    EXPECT_NE(p.out.find(option), std::string::npos) << option;
  }
}

TEST(FlashArgs, NationByIndexListEntryLongNameOrCode) {
  EXPECT_EQ(ParseNation("0"), 0);
  EXPECT_EQ(ParseNation("9"), 9);
  EXPECT_EQ(ParseNation("Zudarida_SPAIN"), 8);
  EXPECT_EQ(ParseNation("zudarida"), 0);
  EXPECT_EQ(ParseNation("germany"), 2);
  EXPECT_EQ(ParseNation("PT"), 7);
  EXPECT_EQ(ParseNation("10"), std::nullopt);
  EXPECT_EQ(ParseNation(""), std::nullopt);
  EXPECT_EQ(ParseNation("Zudarida_"), std::nullopt);
}

TEST(FlashSetup, PhonePortsOfTheMapInMapOrderAtMostEight) {
  EXPECT_TRUE(IsPhoneModemName("qxcdmdm0"));
  EXPECT_TRUE(IsPhoneModemName("qxcemdm255"));
  EXPECT_FALSE(IsPhoneModemName("qxcdmdm256"));
  EXPECT_FALSE(IsPhoneModemName("qxcdmdm"));
  EXPECT_FALSE(IsPhoneModemName("qxcdmdm1a"));
  EXPECT_FALSE(IsPhoneModemName("serial0"));

  ScopedDeviceMap map;
  map.Add("serial0", "COM1");
  map.Add("qxcemdm3", "COM40");
  for (int i = 0; i < 9; ++i) map.Add("qxcdmdm" + std::to_string(i), "COM" + std::to_string(20 + i));
  // Sorted by name: the nine qxcdmdm entries come first, the ninth is cut.
  EXPECT_EQ(PhonePortsOfMap(), (std::vector<int>{20, 21, 22, 23, 24, 25, 26, 27}));
}

TEST(FlashSetup, RefusalsCarryAClearMessage) {
  ScopedDeviceMap map;
  TempDir dir;
  tarn::test::WriteBytes(dir / "test_a.tar", tarn::test::TarBytes({{"ZIMAGE", 10}}));
  FlashArgs args;
  args.pda = (dir / "test_a.tar").string();
  SetupOutcome none = PrepareFlash(args);
  EXPECT_FALSE(none.ok);
  EXPECT_NE(none.refusal.find("no phone"), std::string::npos);

  // The images are checked first: every cause, one line each, even without a phone.
  args.pda = "other.tar";
  args.phone = (dir / "none.bin").string();
  SetupOutcome wrong = PrepareFlash(args);
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.refusal,
            "e - the PDA image does not exist: other.tar\n"
            "e - the PDA file name names no known platform: other.tar\n"
            "e - the phone image does not exist: " +
                args.phone + "\n");
  args.phone.clear();

  map.Add("qxcdmdm0", "COM9");
  std::filesystem::create_directory(dir / "test_folder.tar");
  args.pda = (dir / "test_folder.tar").string();
  SetupOutcome folder = PrepareFlash(args);
  EXPECT_FALSE(folder.ok);
  EXPECT_EQ(folder.refusal, "e - the PDA image is not a regular file: " + args.pda + "\n");

  args.pda.clear();
  EXPECT_NE(PrepareFlash(args).refusal.find("no image"), std::string::npos);
}

TEST(FlashSetup, GivenImagesCountAsTickedAndTheNationComesFromTheCsc) {
  TempDir dir;
  tarn::tools::SampleSpec spec;
  spec.outDir = dir.Path().string();
  spec.size = 64 * 1024;
  std::string error;
  ASSERT_TRUE(tarn::tools::WriteSampleImages(spec, &error)) << error;
  FlashArgs args;
  args.pda = (dir / spec.pdaName).string();
  args.csc = (dir / spec.cscName).string();
  args.phone = (dir / spec.phoneName).string();
  args.ports = {7, 5};
  args.stratine = "csc";
  SetupOutcome setup = PrepareFlash(args);
  ASSERT_TRUE(setup.ok) << setup.refusal;
  EXPECT_EQ(setup.setup.ports, (std::vector<int>{7, 5}));
  EXPECT_EQ(setup.setup.plan.imageMask, IMAGE_MASK_PDA | IMAGE_MASK_CSC | IMAGE_MASK_PHONE);
  EXPECT_EQ(setup.setup.nation, 9);  // UK.csc is the archive's last per-nation member
  std::uint64_t expected = tarn::tools::PhoneSize(spec.size) + tarn::tools::CscMembers(spec.size).back().size;
  for (const auto& member : tarn::tools::PdaMembers(spec.size)) expected += member.size;
  EXPECT_EQ(setup.setup.plan.totalSize, expected);
  EXPECT_EQ(setup.setup.plan.options.bStratineAll, 0);
  EXPECT_EQ(setup.setup.plan.options.nStratineParts, 4);
  EXPECT_EQ(setup.setup.plan.options.nPlatform, 0);  // "test" in the PDA name
  EXPECT_TRUE(setup.setup.factoryMode);

  args.nation = "FR";
  SetupOutcome chosen = PrepareFlash(args);
  ASSERT_TRUE(chosen.ok);
  EXPECT_EQ(chosen.setup.nation, 1);
  EXPECT_EQ(chosen.setup.plan.totalSize, expected - tarn::tools::CscMembers(spec.size).back().size +
                                             tarn::tools::CscMembers(spec.size).front().size);
}

TEST(TextReport, LinesAsTheWindowShowsThem) {
  Capture out;
  int before = 0;
  TextReport report(out.File(), [&] { ++before; });
  report.Text(3, L"open COM7");
  report.Error(2, L"e - usb is disconnected!!");
  report.Progress(2, 50, 50);
  SlotSummary pass;
  pass.slot = 0;
  pass.passed = true;
  report.Summary(pass);
  SlotSummary fail;
  fail.slot = 7;
  report.Summary(fail);
  EXPECT_EQ(out.Text(),
            "[  3  ] open COM7\nERROR [  Device 2  ] e - usb is disconnected!!\n[  0  ] PASS\n[  7  ] FAIL\n");
  EXPECT_EQ(before, 4);
}

TEST(JsonReport, OneValidObjectPerLine) {
  Capture out;
  JsonReport report(out.File());
  report.JobStarted(1, 12, false);
  report.Text(1, L"Downloading \u00c9T\u00c9.csc");
  report.Progress(1, 40, 75);
  report.State(1, -1);
  report.Files(9, 4);
  report.Error(1, L"e - x");
  report.Pass(1, 9);
  SlotSummary summary;
  summary.slot = 1;
  summary.port = 12;
  summary.filesDone = 9;
  summary.errors = {L"e - x"};
  summary.seconds = 1.5;
  report.Summary(summary);
  std::istringstream lines(out.Text());
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(events[0]["type"], "start");
  EXPECT_EQ(events[0]["port"], 12);
  EXPECT_EQ(events[1]["text"], "Downloading \xc3\x89T\xc3\x89.csc");
  EXPECT_EQ(events[2]["overall"], 40);
  EXPECT_EQ(events[2]["file"], 75);
  EXPECT_EQ(events[3]["code"], -1);
  EXPECT_EQ(events[4]["total"], 9);
  EXPECT_EQ(events[5]["type"], "error");
  EXPECT_EQ(events[6]["files_done"], 9);
  EXPECT_EQ(events[7]["type"], "summary");
  EXPECT_EQ(events[7]["result"], "FAIL");
  EXPECT_EQ(events[7]["errors"][0], "e - x");
  EXPECT_DOUBLE_EQ(events[7]["seconds"].get<double>(), 1.5);
}

TEST(ProgressView, RendersOneLinePerAttachedSlotCutToWidth) {
  Capture terminal;
  ProgressView view(terminal.File(), false);
  view.Attach(0, 7);
  view.Attach(5, 12);
  view.Progress(5, 50, 100);
  view.Status(5, L"Downloading\nZIMAGE");
  std::vector<std::string> lines = view.Render(200);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("[  0  ] COM7 ", 0), 0u);
  EXPECT_NE(lines[1].find("[####################] 100%"), std::string::npos);
  EXPECT_NE(lines[1].find("[##########..........]  50%"), std::string::npos);
  EXPECT_NE(lines[1].find("Downloading ZIMAGE"), std::string::npos);
  for (const auto& line : view.Render(30)) EXPECT_EQ(line.size(), 30u);
}

TEST(ProgressView, RedrawsInPlaceAndColoursOnlyWhenAllowed) {
  Capture plain;
  ProgressView view(plain.File(), false);
  view.Attach(0, 1);
  view.Finish(0, false);
  view.Draw(true);
  view.Draw(true);
  std::string text = plain.Text();
  EXPECT_NE(text.find("\x1b[1A"), std::string::npos);  // the second drawing moves up over the first
  EXPECT_EQ(text.find("\x1b[31m"), std::string::npos);
  view.Erase();
  EXPECT_NE(plain.Text().find("\x1b[J"), std::string::npos);

  Capture coloured;
  ProgressView colourView(coloured.File(), true);
  colourView.Attach(0, 1);
  colourView.Finish(0, true);
  colourView.Draw(true);
  EXPECT_NE(coloured.Text().find("\x1b[32m"), std::string::npos);
}

}  // namespace
