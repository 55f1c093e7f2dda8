// SPDX-License-Identifier: Apache-2.0
// tarn-flash stopped by signals, its answer time-out, and a reader that goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "host/soft_stop.h"
#include "platform/text.h"
#include "tests/cli/flash_run_fixture.h"

namespace {

using namespace tarn::cli;
using namespace tarn::test;

// Ctrl-C while every job runs (the last slot in the middle of its data, the
// early ones in their completion wait): each ends at a command boundary, so
// the phones stay in download mode and the next run flashes them all.
TEST_F(FlashRun, InterruptStopsEveryJobSoThatTheNextRunPasses) {
  spec_.size = 4u << 20;
  std::string error;
  ASSERT_TRUE(tarn::tools::WriteSampleImages(spec_, &error)) << error;
  for (int i = 0; i < 8; ++i) AddPhone(Config(i, 70 + i));
  std::chrono::steady_clock::time_point signalled;
  std::thread interrupter;
  ToolRun stopped = RunTool(TARN_FLASH_PATH, AllImages(), [&](int pid) {
    interrupter = std::thread([&, pid] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (phones_.back()->Stats().frames < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      signalled = std::chrono::steady_clock::now();
      kill(pid, SIGINT);
    });
  });
  interrupter.join();
  std::printf("SIGINT to exit: %.3f s\n", std::chrono::duration<double>(stopped.ended - signalled).count());
  EXPECT_EQ(stopped.exitCode, 130) << stopped.out << stopped.err;
  for (int slot = 0; slot < 8; ++slot) {
    const std::string prefix = "[  " + std::to_string(slot) + "  ] ";
    EXPECT_NE(stopped.out.find(prefix + "STOPPED\n"), std::string::npos) << slot << stopped.out;
  }
  EXPECT_EQ(stopped.out.find("PASS"), std::string::npos);

  std::vector<std::string> args = AllImages();
  args.push_back("--no-factory-mode");
  ToolRun again = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(again.exitCode, kExitPassed) << again.out;
  for (int com = 70; com < 78; ++com) ExpectFlashedExactly(com);
}

// A phone that never answers: --answer-timeout bounds the wait, or a second
// SIGTERM ends it at once (the first waits for the answer under way).
TEST_F(FlashRun, ASilentPhoneFailsAfterTheAnswerTimeoutOrStopsOnASecondSignal) {
  for (int com : {81, 82, 83}) {
    tarn::sim::PhoneConfig silent = Config(com - 81, com);
    silent.faults.silence = {tarn::sim::kGreetingCode, 1};
    AddPhone(silent);
  }
  std::vector<std::string> args = AllImages();
  for (const char* a : {"--port", "81", "--answer-timeout", "1"}) args.push_back(a);
  ToolRun timedOut = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(timedOut.exitCode, kExitFailed) << timedOut.out;
  EXPECT_NE(timedOut.out.find("[  0  ] e - the phone did not answer within 1 second.\n"), std::string::npos)
      << timedOut.out;

  args = AllImages();
  for (const char* a : {"--port", "82"}) args.push_back(a);
  std::thread signaller;
  ToolRun stopped = RunTool(TARN_FLASH_PATH, args, [&](int pid) {
    signaller = std::thread([this, pid] {
      phones_[1]->WaitForCommand(tarn::sim::kGreetingCode, std::chrono::seconds(30));
      kill(pid, SIGTERM);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the host polls every 100 ms
      kill(pid, SIGTERM);
    });
  });
  signaller.join();
  EXPECT_EQ(stopped.exitCode, 143) << stopped.out << stopped.err;
  EXPECT_NE(stopped.out.find("[  0  ] STOPPED\n"), std::string::npos) << stopped.out;

  // One signal is enough: the stop at a command boundary is bounded, and the
  // slot says why it was stopped at once.
  args = AllImages();
  args.insert(args.end(), {"--port", "83", "--json"});
  ToolRun bounded = RunTool(TARN_FLASH_PATH, args, [&](int pid) {
    signaller = std::thread([this, pid] {
      phones_.back()->WaitForCommand(tarn::sim::kGreetingCode, std::chrono::seconds(30));
      kill(pid, SIGTERM);
    });
  });
  signaller.join();
  EXPECT_EQ(bounded.exitCode, 143) << bounded.out << bounded.err;
  const nlohmann::json summary = JsonLines(bounded.out).back();
  EXPECT_EQ(summary["slots"][0]["result"], "STOPPED") << summary;
  EXPECT_EQ(summary["slots"][0]["reason"], tarn::platform::Narrow(tarn::host::kSoftStopOverdueText)) << summary;
}

// `tarn-flash --json --report r.json | head -n 5`, the same in text, and a
// run whose standard output was never open (`>&-`): the reader goes away at
// the start of the batch. The batch goes on to its end: phones byte-exact,
// the report written, the batch's own status, and one line on the stream
// that still works.
TEST_F(FlashRun, AClosedOutputPipeNeverStopsTheBatch) {
  for (int com : {61, 62}) AddPhone(Config(com - 61, com));
  struct Case {
    const char* name;
    std::size_t lines;  // read before the pipe is closed; 0: no standard output at all
  };
  for (const Case& c : {Case{"json", 5}, Case{"text", 2}, Case{"none", 0}}) {
    const auto report = dir_ / (std::string(c.name) + "-report.json");
    std::vector<std::string> args = AllImages();
    args.insert(args.end(), {"--no-factory-mode", "--report", report.string()});
    if (c.name == std::string("json")) args.push_back("--json");
    std::vector<std::string> closed = {"-c", "exec \"$0\" \"$@\" >&-", TARN_FLASH_PATH};
    closed.insert(closed.end(), args.begin(), args.end());
    ToolRun run = c.lines > 0 ? RunTool(TARN_FLASH_PATH, args, {}, c.lines) : RunTool("/bin/sh", closed);
    EXPECT_EQ(run.exitCode, kExitPassed) << c.name << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), c.lines) << run.out;
    const std::size_t said = run.err.find("tarn-flash: standard output is closed");
    EXPECT_EQ(said != std::string::npos, c.lines > 0) << run.err;
    if (said != std::string::npos) {
      EXPECT_EQ(run.err.find("tarn-flash: standard output is closed", said + 1), std::string::npos) << run.err;
    }
    const nlohmann::json summary = nlohmann::json::parse(ReadFile(report));
    EXPECT_EQ(summary["counts"]["passed"], 2) << summary;
    EXPECT_EQ(summary["exit_status"], kExitPassed);
    for (int com : {61, 62}) ExpectFlashedExactly(com);
  }
}

}  // namespace
