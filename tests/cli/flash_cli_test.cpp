// SPDX-License-Identifier: Apache-2.0
// tarn-flash's pieces: arguments, set-up from the serial-port map, the text
// and JSON lines and the terminal bars.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/flash_args.h"
#include "cli/flash_setup.h"
#include "cli/port_list.h"
#include "platform/devicemap.h"
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

// One --port more than a host drives.
std::vector<std::string> ThirtyThreePorts() {
  std::vector<std::string> words;
  for (int com = 1; com <= 33; ++com) words.insert(words.end(), {"--port", std::to_string(com)});
  return words;
}

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
  EXPECT_EQ(p.args.answerTimeout, 300);
  EXPECT_FALSE(p.args.imageDigests);
  EXPECT_EQ(p.args.metricsFile, "");
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
                    "--port",
                    "-1",
                    "--wait",
                    "2,30",
                    "--list",
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
                    "--json",
                    "--answer-timeout",
                    "7",
                    "--image-digests",
                    "--metrics-file",
                    "/var/lib/node/tarn.prom"});
  ASSERT_TRUE(p.outcome.run) << p.err;
  EXPECT_EQ(p.args.ports, (std::vector<int>{12, 3, -2, -1}));
  EXPECT_TRUE(p.args.list);
  EXPECT_EQ(p.args.waitCount, 2);
  EXPECT_EQ(p.args.waitSeconds, 30);
  EXPECT_EQ(Parse({"--wait", "8"}).args.waitSeconds, kDefaultWaitSeconds);
  EXPECT_TRUE(p.args.noBootUpdate && p.args.bootFormat && p.args.csaClear && p.args.noAutoReboot);
  EXPECT_TRUE(p.args.phoneBootUpdate && p.args.noFactoryMode && p.args.json);
  EXPECT_EQ(p.args.stratine, "opt");
  EXPECT_EQ(p.args.csc, "c.tar");
  EXPECT_EQ(p.args.answerTimeout, 7);
  EXPECT_TRUE(p.args.imageDigests);
  EXPECT_EQ(p.args.metricsFile, "/var/lib/node/tarn.prom");
}

TEST(FlashArgs, WrongArgumentsAreRefusedWithExitTwo) {
  for (const auto& words : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                 {"--stratine", "most"},
                                                                 {"--nation", "atlantis"},
                                                                 {"--nation", "10"},
                                                                 {"--port", "300"},
                                                                 {"--port", "0"},
                                                                 {"--port", "4", "--port", "4"},
                                                                 {"--port", "COM4"},
                                                                 {"--port", "4x"},
                                                                 {"--port", "/dev/null"},  // in no map
                                                                 {"--wait", "0"},
                                                                 {"--wait", "33"},
                                                                 {"--wait", "2,0"},
                                                                 {"--wait", "2,"},
                                                                 {"--wait", "2,1s"},
                                                                 {"--answer-timeout", "0"},
                                                                 {"--answer-timeout", "soon"},
                                                                 ThirtyThreePorts(),
                                                                 {"--pda"},
                                                                 {"--metrics-file", ""},
                                                                 {"--metrics-file="},
                                                                 {"inspect"}}) {
    Parsed p = Parse(words);
    EXPECT_FALSE(p.outcome.run) << words[0];
    EXPECT_EQ(p.outcome.exitCode, kExitRefused) << words[0];
    EXPECT_NE(p.err.find("tarn-flash: "), std::string::npos) << words[0];
  }
  // What to give instead, in words.
  EXPECT_EQ(Parse({"--metrics-file", ""}).err, "tarn-flash: e - --metrics-file needs a file path, not an empty one\n");
  EXPECT_NE(Parse({"--nation", "atlantis"}).err.find("0 to 9 or one of ZUDARIDA (ZUDARIDA), FR (FRANCE), "),
            std::string::npos);
  EXPECT_EQ(Parse({"inspect"}).err,
            "tarn-flash: e - inspect needs at least one image: tarn-flash inspect PDA.tar [CSC.tar] [PHONE.bin]\n");
}

TEST(FlashArgs, HelpExitsZeroAndNamesEveryOption) {
  Parsed p = Parse({"--help"});
  EXPECT_FALSE(p.outcome.run);
  EXPECT_EQ(p.outcome.exitCode, kExitPassed);
  for (const char* option : {"--pda", "--csc", "--phone", "--port", "--no-boot-update", "--boot-format", "--csa-clear",
                             "--no-auto-reboot", "--phone-boot-update", "--no-factory-mode", "--stratine", "--nation",
                             "--json", "--list", "--wait", "--answer-timeout"}) {
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

TEST(FlashSetup, PhonePortsOfTheMapInTheOrderOfTheirNumbersAtMost32) {
  ScopedDeviceMap map;
  map.Add("serial0", "COM1");
  map.Add("qxcemdm3", "COM40");
  for (int i = 0; i < 33; ++i) map.Add("qxcdmdm" + std::to_string(i), "COM" + std::to_string(100 + i));
  // The qxcdmdm entries first, qxcdmdm2 before qxcdmdm10; the 33rd is cut.
  std::vector<int> expected;
  for (int i = 0; i < 32; ++i) expected.push_back(100 + i);
  EXPECT_EQ(PhonePortsOfMap(), expected);
}

// --list: map entries that lead to a file, a FIFO or a device that is no
// terminal say so; a pseudo-terminal beside them still opens.
TEST(PortList, EntriesLeadingToNoTerminalAreNotASerialPort) {
  ScopedDeviceMap map;
  char folder[] = "/dev/shm/tarn-list-XXXXXX";
  ASSERT_NE(nullptr, ::mkdtemp(folder));
  const std::filesystem::path shm(folder);
  std::ofstream(shm / "file") << "phone";
  ASSERT_EQ(0, ::mkfifo((shm / "fifo").c_str(), 0600));
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::vector<std::string> nodes = {(shm / "file").string(), (shm / "fifo").string(), "/dev/null",
                                          ::ptsname(master)};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(tarn::platform::RegisterPort("qxcdmdm" + std::to_string(i), i + 1, nodes[i]));
  const std::vector<PortDetails> ports = DescribePhonePorts();
  ASSERT_EQ(ports.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ports[i].tty, nodes[i]);
    EXPECT_EQ(ports[i].opens, i < 3 ? "not a serial port" : "opens") << nodes[i];
  }
  ::close(master);
  std::filesystem::remove_all(shm);
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
  EXPECT_TRUE(none.noPhone);

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
  EXPECT_FALSE(wrong.noPhone);

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
  ScopedDeviceMap map;  // the given ports must be phone ports of the map
  map.Add("qxcdmdm0", "COM5");
  map.Add("qxcemdm3", "COM7");
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

}  // namespace
