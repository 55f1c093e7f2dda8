// SPDX-License-Identifier: Apache-2.0
// tarn-flash against simulated phones on pseudo-terminals: the program's exit
// status and output, byte-exact partitions, and the Boot Format restart.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <tuple>

#include "cli/flash_host.h"
#include "engine/events.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "sim/keld_sim.h"
#include "tests/cli/flash_run_fixture.h"
#include "tests/cli/run_tool.h"
#include "tests/testsupport/temp_dir.h"
#include "tools/sample_images.h"
#include "tools/tar_writer.h"

namespace {

using namespace tarn::cli;
using namespace tarn::test;

TEST_F(FlashRun, TwoPhonesPassAndHoldTheImagesByteForByte) {
  AddPhone(Config(0, 31));
  tarn::sim::SimPhone& second = AddPhone(Config(1, 32));
  // COM32 by a stable name as udev makes them: a link to the tty.
  const auto byPath = dir_ / "by-path" / "pci-0000:00:14.0-usb-0:2:1.0";
  std::filesystem::create_directories(byPath.parent_path());
  std::filesystem::create_symlink(second.TtyPath(), byPath);
  std::vector<std::string> args = AllImages();
  // Slot i runs the i-th --port, whatever the map order.
  for (const char* a : {"--port", byPath.c_str(), "--port", "31", "--no-factory-mode", "--image-digests"}) {
    args.push_back(a);
  }
  // A terminal that cannot move its cursor gets whole lines, never escapes.
  const char* term = std::getenv("TERM");
  const std::string savedTerm = term ? term : "";
  setenv("TERM", "dumb", 1);
  ToolRun run = RunTool(TARN_FLASH_PATH, args);
  term ? setenv("TERM", savedTerm.c_str(), 1) : unsetenv("TERM");
  EXPECT_EQ(run.exitCode, kExitPassed) << run.out << run.err;
  EXPECT_EQ(run.out.rfind("PDA " + Image(spec_.pdaName) + " sha256 ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("[  0  ] open COM32\n"), std::string::npos);
  EXPECT_NE(run.out.find("[  1  ] open COM31\n"), std::string::npos);
  EXPECT_NE(run.out.find("[  0  ] Downloading UK.csc (9), 9\n"), std::string::npos);
  EXPECT_NE(run.out.find("[  0  ] SKIP FR.csc (1), 9\n"), std::string::npos);
  EXPECT_EQ(run.out.find("ERROR"), std::string::npos);
  EXPECT_NE(run.out.find("[  0  ] PASS\n[  1  ] PASS\n"), std::string::npos);
  EXPECT_EQ((run.out + run.err).find('\x1b'), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("[  0  ] COM32 file 100% total 100%  PASS\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\nbatch 100%  elapsed "), std::string::npos) << run.err;
  ExpectFlashedExactly(31);
  ExpectFlashedExactly(32);
}

// As many phones as tarn-flash drives, in the order of their map entries'
// numbers (qxcdmdm2 before qxcdmdm10).
TEST_F(FlashRun, ThirtyTwoPhonesOfTheMapAtOnce) {
  for (int i = 0; i < 32; ++i) AddPhone(Config(i, 60 + i));
  std::vector<std::string> args = AllImages();
  args.push_back("--no-factory-mode");
  ToolRun run = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(run.exitCode, kExitPassed) << run.out;
  for (int slot = 0; slot < 32; ++slot) {
    const std::string prefix = "[  " + std::to_string(slot) + "  ] ";
    EXPECT_NE(run.out.find(prefix + "open COM" + std::to_string(60 + slot) + "\n"), std::string::npos) << slot;
    EXPECT_NE(run.out.find(prefix + "PASS\n"), std::string::npos) << slot;
    ExpectFlashedExactly(60 + slot);
  }
}

// JSON v1 as a program reads it (checked against the schema by Python's
// jsonschema), the report file, one log per slot and the station's metrics
// file from the same run.
TEST_F(FlashRun, AFailingPhoneEndsWithExitOneAndItsErrorsInTheSummary) {
  tarn::sim::PhoneConfig bad = Config(0, 21);
  bad.faults.failFrame = 2;
  bad.faults.failFrameResult = 0xFF;
  AddPhone(bad);
  AddPhone(Config(1, 22));
  const auto report = dir_ / "reports" / "batch.json";
  const auto logs = dir_ / "logs" / "station";  // made by tarn-flash
  std::filesystem::create_directories(report.parent_path());
  std::vector<std::string> args = AllImages();
  const auto metrics = dir_ / "tarn.prom";
  args.insert(args.end(), {"--no-factory-mode", "--json", "--report", report.string(), "--log-dir", logs.string(),
                           "--image-digests", "--metrics-file", metrics.string()});
  ToolRun run = RunTool(TARN_FLASH_PATH, args);  // ports from the map
  EXPECT_EQ(run.exitCode, kExitFailed) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  std::ofstream(dir_ / "lines.json") << run.out;
  ToolRun schema = RunTool(TARN_PYTHON,
                           {TARN_SOURCE_DIR "/tests/cli/check_json_lines.py",
                            TARN_SOURCE_DIR "/docs/tarn-flash-json-v1.schema.json", (dir_ / "lines.json").string()});
  EXPECT_EQ(schema.exitCode, 0) << schema.out << schema.err;

  std::vector<nlohmann::json> lines = JsonLines(run.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front()["options"]["ports"], nlohmann::json::array({21, 22}));
  EXPECT_EQ(lines.front()["images"]["pda"]["bytes"], std::filesystem::file_size(Image(spec_.pdaName)));
  // Which firmware went in, as sha256sum names each image, at the start and
  // in the summary (the report file).
  std::size_t image = 0;
  for (const auto& [role, name] :
       {std::pair{"pda", spec_.pdaName}, {"csc", spec_.cscName}, {"phone", spec_.phoneName}}) {
    const std::string sha256sum = RunTool("/usr/bin/env", {"sha256sum", Image(name)}).out.substr(0, 64);
    EXPECT_EQ(lines.front()["images"][role]["sha256"], sha256sum) << role;
    EXPECT_EQ(lines.back()["images"][image]["sha256"], sha256sum) << role;
    EXPECT_EQ(lines.back()["images"][image++]["path"], Image(name)) << role;
  }
  std::map<int, nlohmann::json> results;
  int slot0Errors = 0;
  int slot1Passed = -1;  // files done as the job's final message carries it
  for (const auto& line : lines) {
    if (line["type"] == "result") results[line["slot"].get<int>()] = line;
    if (line["type"] == "error" && line["slot"] == 0) ++slot0Errors;
    if (line.contains("text")) {
      EXPECT_EQ(line["text"].get<std::string>().find('\n'), std::string::npos) << line;
    }
    if (line["type"] == "pass" && line["slot"] == 1) slot1Passed = line["files_done"].get<int>();
  }
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]["result"], "FAIL");
  EXPECT_EQ(results[0]["port"], 21);
  EXPECT_EQ(results[0]["errors"].size(), static_cast<std::size_t>(slot0Errors));
  EXPECT_GE(slot0Errors, 1);
  // The refused frame decides, not the job's closing line that follows from it.
  const std::string reason = results[0]["reason"];
  EXPECT_EQ(reason.rfind("e - Command ", 0), 0u) << reason;
  EXPECT_EQ(results[0]["errors"].back(), "e - usb is disconnected!!");
  EXPECT_EQ(results[1]["result"], "PASS");
  EXPECT_EQ(results[1]["port"], 22);
  EXPECT_GE(slot1Passed, 8);  // 5 PDA and 3 CSC members at least
  EXPECT_EQ(results[1]["files_done"], slot1Passed);
  EXPECT_TRUE(results[1]["errors"].empty());
  EXPECT_EQ(results[1]["bytes"], lines.front()["images"]["job_bytes"]);
  EXPECT_GT(results[1]["seconds"].get<double>(), 0.0);
  const nlohmann::json& summary = lines.back();
  EXPECT_EQ(summary["counts"], nlohmann::json({{"passed", 1}, {"failed", 1}, {"stopped", 0}}));
  EXPECT_EQ(summary["exit_status"], kExitFailed);
  // The same record as the last line, byte for byte.
  EXPECT_EQ(ReadFile(report), run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1));
  const std::string counts = ReadFile(metrics);
  for (const char* line : {"tarn_jobs_total{result=\"FAIL\",slot=\"0\"} 1\n",
                           "tarn_jobs_total{result=\"PASS\",slot=\"1\"} 1\n", "tarn_batches_total 1\n"}) {
    EXPECT_NE(counts.find(line), std::string::npos) << line << counts;
  }
  ExpectFlashedExactly(22);

  // One log per slot, every line stamped, ending in the slot's result.
  const std::string failed = ReadFile(logs / "slot0-COM21.log");
  const std::string passed = ReadFile(logs / "slot1-COM22.log");
  EXPECT_NE(failed.find("Z job started on COM21\n"), std::string::npos) << failed;
  EXPECT_NE(failed.find("Z ERROR e - usb is disconnected!!\n"), std::string::npos) << failed;
  EXPECT_NE(failed.find("Z FAIL: " + reason + "\n"), std::string::npos) << failed;
  EXPECT_NE(passed.find("Z open COM22\n"), std::string::npos) << passed;
  EXPECT_EQ(passed.substr(passed.rfind('Z') + 1), " PASS\n") << passed;
  std::istringstream logLines(failed + passed);
  for (std::string line; std::getline(logLines, line);) EXPECT_EQ(line.substr(23, 2), "Z ") << line;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(logs), {}), 2);

  // Where neither can be written, nothing starts.
  for (const auto& [option, path] : {std::pair{"--report", dir_ / "none" / "batch.json"},
                                     std::pair{"--log-dir", std::filesystem::path(report) / "logs"}}) {
    args = AllImages();
    args.insert(args.end(), {option, path.string()});
    ToolRun refused = RunTool(TARN_FLASH_PATH, args);
    EXPECT_EQ(refused.exitCode, kExitRefused) << option;
    EXPECT_EQ(refused.err.rfind("e - the ", 0), 0u) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
  EXPECT_EQ(phones_[1]->Stats().greetings, 1);
}

TEST_F(FlashRun, RefusedStartsExitTwoOrThreeWithAMessage) {
  ToolRun noPhone = RunTool(TARN_FLASH_PATH, AllImages());
  EXPECT_EQ(noPhone.exitCode, kExitNoPhone);
  EXPECT_NE(noPhone.err.find("no phone attached"), std::string::npos);
  EXPECT_EQ(noPhone.out, "");

  // Each cause on its own line, before a phone is greeted.
  tarn::sim::SimPhone& phone = AddPhone(Config(0, 5));
  std::filesystem::copy_file(Image(spec_.pdaName), dir_ / "other.tar");
  std::filesystem::create_directory(dir_ / "test_dir.tar");
  tarn::tools::TarWriter readme((dir_ / "test_readme.tar").string());
  readme.AddMember("README.txt", 6, [](unsigned char* out, std::size_t n) { std::fill(out, out + n, 'r'); });
  ASSERT_TRUE(readme.Finish());
  const std::string d = dir_.Path().string() + "/";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } refusals[] = {
      {{"--pda", d + "other.tar"}, "e - the PDA file name names no known platform: other.tar\n"},
      {{"--phone", d + "none.bin"}, "e - the phone image does not exist: " + d + "none.bin\n"},
      {{"--pda", d + "test_dir.tar"}, "e - the PDA image is not a regular file: " + d + "test_dir.tar\n"},
      {{"--pda", d + "test_readme.tar", "--csc", d + "none.tar"},
       "e - the PDA archive " + d +
           "test_readme.tar holds files no job can send: \"README.txt\" (see IMAGES in tarn-flash(1))\n" +
           "e - the CSC image does not exist: " + d + "none.tar\n"},
  };
  for (const auto& r : refusals) {
    std::vector<std::string> args = r.args;
    args.insert(args.begin(), {"--port", "5"});
    ToolRun refused = RunTool(TARN_FLASH_PATH, args);
    EXPECT_EQ(refused.exitCode, kExitRefused) << r.err;
    EXPECT_EQ(refused.err, r.err);
    EXPECT_EQ(refused.out, "");
  }
  EXPECT_EQ(phone.Stats().greetings, 0);

  // Images with nothing to send: the refusal line as the window shows it.
  std::ofstream(dir_ / "mirlane_empty.tar").close();
  std::ofstream(dir_ / "empty.bin").close();
  const struct {
    const char* option;
    std::string path;
    std::string line;
  } empties[] = {{"--pda", (dir_ / "mirlane_empty.tar").string(), "e - the PDA archive holds no files: "},
                 {"--phone", (dir_ / "empty.bin").string(), "e - the phone binary is empty: "}};
  for (const auto& e : empties) {
    ToolRun empty = RunTool(TARN_FLASH_PATH, {"--port", "5", e.option, e.path});
    EXPECT_EQ(empty.exitCode, kExitRefused) << e.path;
    EXPECT_EQ(empty.err, e.line + e.path + "\n");
    EXPECT_EQ(empty.out, "");
  }

  // A device path must name a port of the map.
  ToolRun foreign = RunTool(TARN_FLASH_PATH, {"--port", "/dev/null", "--pda", Image(spec_.pdaName)});
  EXPECT_EQ(foreign.exitCode, kExitRefused);
  EXPECT_EQ(foreign.err,
            "tarn-flash: e - /dev/null is not a port of the serial-port map " + (dir_ / "map").string() + "\n");

  // -1 and -2 stand for the map's first phone port (COM5 here), so no phone is
  // named twice; a COM number must be a phone port of the map. Refused before
  // any phone is greeted, not after a job's wait.
  const struct {
    std::vector<std::string> ports;
    int exitCode;
    std::string err;
  } portCases[] = {
      {{"-1", "5"}, kExitRefused, "tarn-flash: e - --port -1 and --port 5 both name COM5\n"},
      {{"-1", "-1"}, kExitRefused, "tarn-flash: e - --port -1 and --port -1 both name COM5\n"},
      {{"5", "-2"}, kExitRefused, "tarn-flash: e - --port 5 and --port -2 both name COM5\n"},
      {{"7"},
       kExitNoPhone,
       "tarn-flash: e - COM7 is not a phone port of the serial-port map " + (dir_ / "map").string() +
           " (tarn-flash --list shows the phone ports)\n"},
  };
  for (const auto& c : portCases) {
    std::vector<std::string> args = {"--pda", Image(spec_.pdaName)};
    for (const auto& port : c.ports) args.insert(args.end(), {"--port", port});
    ToolRun refused = RunTool(TARN_FLASH_PATH, args);
    EXPECT_EQ(refused.exitCode, c.exitCode) << c.err;
    EXPECT_EQ(refused.err, c.err);
  }
  EXPECT_EQ(phone.Stats().greetings, 0);

  ToolRun badArgs = RunTool(TARN_FLASH_PATH, {"--stratine", "half"});
  EXPECT_EQ(badArgs.exitCode, kExitRefused);

  ToolRun help = RunTool(TARN_FLASH_PATH, {"--help"});
  EXPECT_EQ(help.exitCode, kExitPassed);
  EXPECT_NE(help.out.find("--boot-format"), std::string::npos);
}

TEST_F(FlashRun, ListAndWaitSeeThePhonePortsOfTheMap) {
  ToolRun none = RunTool(TARN_FLASH_PATH, {"--list"});
  EXPECT_EQ(none.exitCode, kExitNoPhone);
  EXPECT_EQ(none.out, "");

  const std::string tty = AddPhone(Config(0, 71)).TtyPath().string();
  ToolRun list = RunTool(TARN_FLASH_PATH, {"--list"});
  EXPECT_EQ(list.exitCode, kExitPassed) << list.err;
  // A header row, then the port: a pseudo-terminal has no USB data.
  const std::string gap(tty.size() > 3 ? tty.size() - 3 + 2 : 2, ' ');
  EXPECT_EQ(list.out, "PORT    TTY" + gap + "USB PATH  USB ID  STATE\nCOM71   " + tty + "  -         -       opens\n");

  std::vector<std::string> args = AllImages();
  for (const char* a : {"--wait", "2,1", "--no-factory-mode"}) args.push_back(a);
  ToolRun timedOut = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(timedOut.exitCode, kExitNoPhone);
  EXPECT_NE(timedOut.err.find("e - 1 of 2 phone ports found"), std::string::npos) << timedOut.err;
  EXPECT_EQ(timedOut.out, "");

  AddPhone(Config(1, 72));
  ToolRun both = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(both.exitCode, kExitPassed) << both.out << both.err;
  EXPECT_NE(both.out.find("[  0  ] PASS\n[  1  ] PASS\n"), std::string::npos);
  const std::string listed = RunTool(TARN_FLASH_PATH, {"--list"}).out;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 3) << listed;  // the header and two ports
}

// Both phones reboot after their format, the second slot's first: each
// slot still flashes its own phone again, on its own port, without a format.
TEST_F(FlashRun, BootFormatFlashesEachPhoneAgainOnItsOwnPortWhenItComesBack) {
  for (const auto& [com, rebootMs] : {std::pair{41, 3000}, std::pair{42, 100}}) {
    tarn::sim::PhoneConfig config = Config(com - 41, com);
    config.faults.rebootAfterFormatMs = rebootMs;
    AddPhone(config);
  }
  std::vector<std::string> args = AllImages();
  args.insert(args.end(), {"--no-factory-mode", "--boot-format", "--port", "41", "--port", "42"});
  ToolRun run = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(run.exitCode, kExitPassed) << run.out;
  const auto count = [&](const std::string& line) {
    std::size_t n = 0;
    for (std::size_t at = run.out.find(line); at != std::string::npos; at = run.out.find(line, at + 1)) ++n;
    return n;
  };
  for (int slot : {0, 1}) {
    const std::string prefix = "[  " + std::to_string(slot) + "  ] ";
    EXPECT_EQ(count(prefix + "Format\n"), 1u) << slot << run.out;
    EXPECT_EQ(count(prefix + "open COM" + std::to_string(41 + slot) + "\n"), 2u) << slot << run.out;
    EXPECT_EQ(count(prefix + "open COM" + std::to_string(42 - slot) + "\n"), 0u) << slot << run.out;
    EXPECT_EQ(count(prefix + "PASS\n"), 1u) << slot << run.out;
    const auto commands = phones_[slot]->Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const auto& c) { return c.code == 702; }), 1)
        << "the second job must not format";
  }
  ExpectFlashedExactly(41);
  ExpectFlashedExactly(42);
}

// In-process: what the host answers for the Factory Mode box, and a phone
// that never comes back after its format-only run, on the test clock.
TEST_F(FlashHostClock, FactoryModeBoxDecidesTheCompletionWait) {
  AddPhone(Config(0, 51));
  for (bool factoryMode : {true, false}) {
    FlashSetup setup = SetupFor({51}, factoryMode, false);
    RecordingReport report;
    FlashHost host(setup, report, nullptr);
    std::vector<SlotSummary> summaries = host.Run();
    ASSERT_EQ(summaries.size(), 1u);
    EXPECT_TRUE(summaries[0].passed) << factoryMode;
    const bool waited = std::find(report.states.begin(), report.states.end(), STATE_WAIT) != report.states.end();
    EXPECT_EQ(waited, factoryMode);
    EXPECT_EQ(ExitCodeOf(summaries), kExitPassed);
  }
}

// Beside it a phone that comes back passes on its second job. Each slot's
// end is reported once, before the batch ends, with its final summary.
TEST_F(FlashHostClock, APhoneThatNeverComesBackFailsInsteadOfHanging) {
  AddPhone(Config(0, 52));
  tarn::sim::PhoneConfig returning = Config(1, 53);
  returning.faults.rebootAfterFormatMs = 100;
  AddPhone(returning);
  FlashSetup setup = SetupFor({52, 53}, false, true);
  RecordingReport report;
  FlashHost host(setup, report, nullptr);
  std::vector<SlotSummary> ended;
  host.WatchSlotEnds([&](const SlotSummary& summary) {
    EXPECT_TRUE(host.InBatch()) << summary.slot;
    ended.push_back(summary);
  });
  std::vector<SlotSummary> summaries = host.Run();
  ASSERT_EQ(summaries.size(), 2u);
  EXPECT_FALSE(summaries[0].passed);
  EXPECT_TRUE(summaries[1].passed);
  EXPECT_TRUE(std::find(report.states.begin(), report.states.end(), STATE_FORMAT) != report.states.end());
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_EQ(report.errors[0], L"e - the phone did not come back after the boot format");
  const std::vector<std::pair<int, bool>> starts{{0, false}, {1, false}, {1, true}};
  EXPECT_EQ(report.starts, starts);
  EXPECT_EQ(ExitCodeOf(summaries), kExitFailed);
  // The returning phone's slot ends first: the other still waits for its phone.
  const auto facts = [](const SlotSummary& s) {
    return std::tuple(s.slot, s.passed, s.reason, s.errors, s.filesDone, s.seconds);
  };
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(facts(ended[0]), facts(summaries[1]));
  EXPECT_EQ(facts(ended[1]), facts(summaries[0]));
}

}  // namespace
