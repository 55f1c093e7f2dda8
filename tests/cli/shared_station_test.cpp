// SPDX-License-Identifier: Apache-2.0
// tarn-flash's files in folders that other users share: what was planted
// there is refused before any phone is touched, and a report that could not
// be written fails the run.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "tests/cli/flash_run_fixture.h"

namespace {

using namespace tarn::cli;
using namespace tarn::test;

constexpr const char* kSetpriv = "/usr/bin/setpriv";
const std::vector<std::string> kAsNobody = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", TARN_FLASH_PATH};

// The uid of `nobody`, or 0 when this test cannot act as another user.
uid_t OtherUser() {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr || access(kSetpriv, X_OK) != 0) return 0;
  return nobody->pw_uid;
}

// Whether `nobody` can run the build's tarn-flash (every folder on its path open to others).
bool OtherUserCanRunTheTool() {
  std::vector<std::string> args = kAsNobody;
  args.push_back("--version");
  return OtherUser() != 0 && RunTool(kSetpriv, args).exitCode == 0;
}

// Under the name of slot 0's log: a link into another user's file, a FIFO
// (opening it for writing would wait for a reader), another user's file.
TEST_F(FlashRun, PlantedSlotLogsRefuseTheStartBeforeAnyPhone) {
  const uid_t other = OtherUser();
  if (other == 0) GTEST_SKIP() << "needs root, the user nobody and " << kSetpriv;
  AddPhone(Config(0, 31));
  const auto logs = dir_ / "logs";
  const auto log = logs / "slot0-COM31.log";
  const auto theirs = dir_ / "theirs.txt";
  std::filesystem::create_directories(logs);
  std::ofstream(theirs) << "their own lines\n";
  ASSERT_EQ(chown(theirs.c_str(), other, other), 0);
  const std::vector<std::pair<std::function<void()>, std::string>> planted = {
      {[&] { std::filesystem::create_symlink(theirs, log); }, "it is a symbolic link"},
      {[&] { ASSERT_EQ(mkfifo(log.c_str(), 0666), 0); }, "it is not a regular file"},
      {[&] {
         std::filesystem::copy_file(theirs, log, std::filesystem::copy_options::copy_symlinks);
         ASSERT_EQ(chown(log.c_str(), other, other), 0);
       },
       "it belongs to another user"}};
  alarm(120);  // a start that waits on the FIFO fails the test instead of hanging it
  for (const auto& [plant, why] : planted) {
    std::filesystem::remove(log);
    plant();
    std::vector<std::string> args = AllImages();
    args.insert(args.end(), {"--port", "31", "--log-dir", logs.string()});
    ToolRun run = RunTool(TARN_FLASH_PATH, args);
    EXPECT_EQ(run.exitCode, kExitRefused) << why << run.err;
    EXPECT_EQ(run.err, "e - the slot log cannot be used: " + log.string() + ": " + why + "\n");
    EXPECT_EQ(run.out, "");
  }
  alarm(0);
  EXPECT_EQ(ReadFile(theirs), "their own lines\n");
  EXPECT_EQ(phones_[0]->Stats().greetings, 0);
}

TEST_F(FlashRun, AReportThatCannotBeWrittenIsNoSuccess) {
  AddPhone(Config(0, 32));
  // A shared folder (sticky, as /tmp) holding another user's report: the
  // rename at the end could not replace it, so nothing starts.
  if (OtherUserCanRunTheTool()) {
    const auto shared = dir_ / "shared";
    std::filesystem::create_directories(shared);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    std::ofstream(shared / "batch.json") << "{\"forged\":true}\n";
    std::vector<std::string> args = kAsNobody;
    for (const std::string& arg : AllImages()) args.push_back(arg);
    args.insert(args.end(), {"--port", "32", "--report", (shared / "batch.json").string()});
    ToolRun refused = RunTool(kSetpriv, args);
    EXPECT_EQ(refused.exitCode, kExitRefused) << refused.out << refused.err;
    EXPECT_EQ(refused.err.rfind("e - the report file cannot be replaced: " + (shared / "batch.json").string(), 0), 0u)
        << refused.err;
    EXPECT_EQ(ReadFile(shared / "batch.json"), "{\"forged\":true}\n");
    EXPECT_EQ(phones_[0]->Stats().greetings, 0);
  } else {
    std::printf("the sticky-folder case is skipped: nobody cannot run %s here\n", TARN_FLASH_PATH);
  }

  // A report whose place became a folder during the batch: the jobs pass,
  // the run does not.
  const auto report = dir_ / "batch.json";
  std::vector<std::string> args = AllImages();
  args.insert(args.end(), {"--port", "32", "--no-factory-mode", "--json", "--report", report.string()});
  std::thread blocker;
  ToolRun run = RunTool(TARN_FLASH_PATH, args, [&](int) {
    blocker = std::thread([&] {
      phones_[0]->WaitForCommand(tarn::sim::kGreetingCode, std::chrono::seconds(30));
      std::filesystem::create_directory(report);
    });
  });
  blocker.join();
  EXPECT_EQ(run.exitCode, kExitReportLost) << run.out << run.err;
  EXPECT_EQ(run.err.rfind("tarn-flash: e - the report file cannot be written: " + report.string(), 0), 0u) << run.err;
  const nlohmann::json summary = JsonLines(run.out).back();
  EXPECT_EQ(summary["counts"]["passed"], 1) << summary;
  EXPECT_EQ(summary["exit_status"], kExitReportLost);
  ExpectFlashedExactly(32);
}

}  // namespace
