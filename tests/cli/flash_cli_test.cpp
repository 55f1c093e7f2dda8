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
#include "cli/port_list.h"
#include "cli/progress_view.h"
#include "cli/text_report.h"
#include "tests/testsupport/temp_dir.h"
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
  EXPECT_EQ(p.args.answerTimeout, 300);
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
                    "7"});
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
                                             {"--port", "COM4"},
                                             {"--port", "4x"},
                                             {"--port", "/dev/null"},  // in no map
                                             {"--wait", "0"},
                                             {"--wait", "9"},
                                             {"--wait", "2,0"},
                                             {"--wait", "2,"},
                                             {"--wait", "2,1s"},
                                             {"--answer-timeout", "0"},
                                             {"--answer-timeout", "soon"},
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
  FlashArgs args;
  args.pda = "test_a.tar";
  SetupOutcome none = PrepareFlash(args);
  EXPECT_FALSE(none.ok);
  EXPECT_NE(none.refusal.find("no phone"), std::string::npos);
  EXPECT_TRUE(none.noPhone);

  map.Add("qxcdmdm0", "COM9");
  args.pda = "other.tar";
  SetupOutcome wrongName = PrepareFlash(args);
  EXPECT_FALSE(wrongName.ok);
  EXPECT_NE(wrongName.refusal.find("other.tar"), std::string::npos);
  EXPECT_FALSE(wrongName.noPhone);

  args.pda = "test_missing.tar";
  SetupOutcome missing = PrepareFlash(args);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.refusal.find("cannot read"), std::string::npos);

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
  SlotSummary stopped;
  stopped.slot = 5;
  stopped.stopped = true;
  report.Summary(stopped);
  EXPECT_EQ(out.Text(),
            "[  3  ] open COM7\nERROR [  Device 2  ] e - usb is disconnected!!\n[  0  ] PASS\n[  7  ] FAIL\n"
            "[  5  ] STOPPED\n");
  EXPECT_EQ(before, 5);
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
  summary.stopped = true;
  report.Summary(summary);
  std::istringstream lines(out.Text());
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(events.size(), 9u);
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
  EXPECT_EQ(events[8]["result"], "STOPPED");
}

TEST(ProgressView, RendersOneLinePerAttachedSlotAndTheBatchCutToWidth) {
  Capture terminal;
  ProgressView view(terminal.File(), false);
  view.SetJobBytes(4 * 1024 * 1024);
  view.Attach(0, 7);
  view.Attach(5, 12);
  view.Progress(5, 50, 100);
  view.Status(5, L"Downloading\nZIMAGE");
  std::vector<std::string> lines = view.Render(200, 2000);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("[  0  ] COM7 ", 0), 0u);
  EXPECT_NE(lines[1].find("[####################] 100%"), std::string::npos);
  EXPECT_NE(lines[1].find("[##########..........]  50%"), std::string::npos);
  EXPECT_NE(lines[1].find("Downloading ZIMAGE"), std::string::npos);
  // Half of one job's 4 MiB in two seconds; the other job and a half to go at that pace.
  EXPECT_EQ(lines[2], "batch [#####...............]  25%  elapsed 0:02  1.0 MiB/s  left 0:06");
  for (const auto& line : view.Render(30, 2000)) EXPECT_EQ(line.size(), 30u);

  // A failed slot has nothing left to send; the batch is over when every slot ended.
  view.Finish(0, false);
  view.Progress(5, 99, 100);
  view.Finish(5, true);
  EXPECT_EQ(view.Render(200, 3723000)[2], "batch [####################] 100%  elapsed 1:02:03  0.0 MiB/s  left 0:00");
  EXPECT_TRUE(ProgressView(terminal.File(), false).Render(200, 0).empty());  // no slot, no batch line
}

TEST(ProgressView, BarsOnlyWhereTheCursorCanMove) {
  using Mode = ProgressView::Mode;
  EXPECT_EQ(ProgressView::ModeFor(true, "xterm-256color"), Mode::Bars);
  EXPECT_EQ(ProgressView::ModeFor(true, "dumb"), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(true, ""), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(true, nullptr), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(false, "xterm"), Mode::Lines);

  Capture log;
  ProgressView view(log.File(), true, Mode::Lines);
  view.Attach(3, 9);
  view.Progress(3, 40, 80);
  view.Draw(true);
  view.Erase();
  view.Finish(3, true);
  view.Draw(true);
  const std::string text = log.Text();
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("[  3  ] COM9 file  80% total  40%  \nbatch  40%  elapsed "), std::string::npos) << text;
  EXPECT_NE(text.find("[  3  ] COM9 file 100% total 100%  PASS\nbatch 100%"), std::string::npos) << text;
}

TEST(ProgressView, RedrawsInPlaceAndColoursOnlyWhenAllowed) {
  Capture plain;
  ProgressView view(plain.File(), false);
  view.Attach(0, 1);
  view.Finish(0, false);
  view.Draw(true);
  view.Draw(true);
  std::string text = plain.Text();
  EXPECT_NE(text.find("\x1b[2A"), std::string::npos);  // the second drawing moves up over the slot and the batch
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

TEST(PortList, UsbPathAndIdsFromSysfsOrADash) {
  // sysfs as the kernel lays it out for a CDC-ACM phone (the tty's device is
  // the USB interface) and for a USB serial adapter (one level more).
  TempDir sys;
  const auto acm = sys / "devices/usb1/1-4/1-4.2";
  const auto adapter = sys / "devices/usb2/2-1";
  std::filesystem::create_directories(acm / "1-4.2:1.0");
  std::filesystem::create_directories(adapter / "2-1:1.0/ttyUSB0");
  std::ofstream(acm / "idVendor") << "04e8\n";
  std::ofstream(acm / "idProduct") << "685d\n";
  std::ofstream(adapter / "idVendor") << "0403\n";
  std::ofstream(adapter / "idProduct") << "6001\n";
  std::filesystem::create_directories(sys / "class/tty/ttyACM0");
  std::filesystem::create_directories(sys / "class/tty/ttyUSB0");
  std::filesystem::create_symlink(acm / "1-4.2:1.0", sys / "class/tty/ttyACM0/device");
  std::filesystem::create_symlink(adapter / "2-1:1.0/ttyUSB0", sys / "class/tty/ttyUSB0/device");

  PortDetails phone, serial, pty;
  ReadUsbDetails(sys / "class/tty", "/dev/ttyACM0", &phone);
  ReadUsbDetails(sys / "class/tty", "/dev/ttyUSB0", &serial);
  ReadUsbDetails(sys / "class/tty", "/dev/pts/4", &pty);
  EXPECT_EQ(phone.usbPath + " " + phone.usbId, "1-4.2 04e8:685d");
  EXPECT_EQ(serial.usbPath + " " + serial.usbId, "2-1 0403:6001");
  EXPECT_EQ(pty.usbPath + " " + pty.usbId, "- -");
}

}  // namespace
