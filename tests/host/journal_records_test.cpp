// SPDX-License-Identifier: Apache-2.0
// Batch records against a real systemd-journald. The library always writes
// to /run/systemd/journal/socket, so the test runs itself again in a private
// mount namespace with a tmpfs over /run and /var/log and a journald of its
// own there: the machine's journal never sees a record.
#include "host/journal_records.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kInNamespace = "TARN_JOURNAL_TEST_NAMESPACE";
constexpr const char* kJournald = "/lib/systemd/systemd-journald";
constexpr const char* kSocket = "/run/systemd/journal/socket";
// How long journald may take to create its socket (real milliseconds; it
// normally takes a few), polled in steps.
constexpr int kStartWaitMs = 10000;
constexpr int kStartPollMs = 20;

// Runs the current test again in a child with a mount namespace of its own;
// the child's exit status.
int RunTestInOwnMountNamespace() {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(126);
    setenv(kInNamespace, "1", 1);
    execl(self.c_str(), self.c_str(), filter.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The journald of the namespace: volatile storage under the tmpfs, nothing
// forwarded anywhere, the kernel's messages left alone.
class OwnJournald {
 public:
  void Start() {
    fs::create_directories("/run/systemd/journald.conf.d");
    std::ofstream("/run/systemd/journald.conf.d/90-tarn-test.conf")
        << "[Journal]\nStorage=volatile\nReadKMsg=no\nForwardToSyslog=no\nForwardToKMsg=no\n"
           "ForwardToConsole=no\nForwardToWall=no\n";
    pid_ = fork();
    if (pid_ == 0) {
      // Its notes on what a namespace lacks are no test output.
      const int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) dup2(quiet, STDERR_FILENO);
      execl(kJournald, kJournald, nullptr);
      _exit(127);
    }
    for (int waited = 0; waited < kStartWaitMs && !fs::exists(kSocket); waited += kStartPollMs) {
      usleep(kStartPollMs * 1000);
    }
  }
  // Everything sent so far written, then journald gone: its files are whole.
  int Stop() {
    const int synced = std::system("journalctl --sync");
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return synced;
  }
  ~OwnJournald() {
    if (pid_ > 0) Stop();
  }

 private:
  pid_t pid_ = -1;
};

// The value of one field of journalctl's JSON: a string, or the raw bytes as
// numbers when the value has a line end or another byte it does not print.
std::string Value(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  std::string bytes;
  for (const auto& byte : value) bytes += static_cast<char>(byte.get<int>());
  return bytes;
}

using Entry = std::map<std::string, std::string>;

// The entries `journalctl MATCH` finds in the namespace's journal files, with
// the fields the records set (not those journald adds).
std::vector<Entry> Journal(const std::string& match) {
  std::vector<Entry> entries;
  FILE* out = popen(("journalctl --all --no-pager -o json " + match).c_str(), "r");
  if (out == nullptr) return entries;
  std::string text;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, got);
  pclose(out);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    Entry entry;
    const nlohmann::json line = nlohmann::json::parse(text.substr(start, end - start));
    for (const auto& [name, value] : line.items()) {
      if (name.rfind("TARN_", 0) == 0 || name.rfind("MESSAGE", 0) == 0 || name == "PRIORITY" ||
          name == "SYSLOG_IDENTIFIER") {
        entry[name] = Value(value);
      }
    }
    entries.push_back(entry);
  }
  return entries;
}

const tarn::host::BatchFacts kFacts{
    "0123456789abcdef0123456789abcdef",
    "tarn-flash",
    "/images/PDA.tar",
    "",
    "/images/PHONE.bin",
    {{"PDA", "/images/PDA.tar", std::string(64, 'a')}, {"PHONE", "/images/PHONE.bin", std::string(64, 'b')}}};

void SendBatch(tarn::host::JournalRecords* records) {
  using tarn::host::SlotResult;
  records->JobEnded(kFacts, {0, 7, "", SlotResult::Passed, "", 123456789, 41.23});
  records->JobEnded(kFacts, {3, 4, "1-4.2", SlotResult::Failed, "e - the phone said %s\nand 100%% %n no", 4096, 2.5});
  records->BatchEnded(kFacts, {1, 1, 0, 93.44});
}

TEST(JournalRecords, EveryResultAndTheBatchInARealJournalAndOneTraceWithoutIt) {
  if (std::getenv(kInNamespace) == nullptr) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: a journald of its own in a private mount namespace";
    ASSERT_EQ(RunTestInOwnMountNamespace(), 0) << "the test failed in its own mount namespace (its output is above)";
    return;
  }
  ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", 0, nullptr), 0);
  ASSERT_EQ(mount("tmpfs", "/var/log", "tmpfs", 0, nullptr), 0);

  // Only this test runs in this process, on this thread: the sink may stay.
  std::vector<std::string> traced;
  tarn::platform::SetDebugOutputSink([&traced](std::string_view record) { traced.emplace_back(record); });

  {  // No journal: the records go nowhere, the trace says so once for the whole run.
    tarn::host::JournalRecords records;
    SendBatch(&records);
    ASSERT_EQ(traced.size(), 1u);
    EXPECT_NE(traced[0].find("could not be written (/run/systemd/journal/socket: No such file or directory)"),
              std::string::npos)
        << traced[0];
  }

  OwnJournald journald;
  journald.Start();
  ASSERT_TRUE(fs::exists(kSocket)) << kJournald << " made no socket";
  tarn::host::JournalRecords records;
  SendBatch(&records);
  ASSERT_EQ(journald.Stop(), 0);
  EXPECT_EQ(traced.size(), 1u) << "a written journal left a trace record";

  const Entry images{{"SYSLOG_IDENTIFIER", "tarn-flash"},
                     {"TARN_BATCH", kFacts.id},
                     {"TARN_HOST", "tarn-flash"},
                     {"TARN_PDA", "/images/PDA.tar"},
                     {"TARN_PHONE", "/images/PHONE.bin"},
                     {"TARN_PDA_SHA256", std::string(64, 'a')},
                     {"TARN_PHONE_SHA256", std::string(64, 'b')}};
  const auto with = [&images](Entry entry) {
    entry.insert(images.begin(), images.end());
    return entry;
  };
  const Entry pass = with({{"MESSAGE_ID", tarn::host::kJobEndedMessageId},
                           {"MESSAGE", "slot 0 (COM7) PASS in 41.2 s"},
                           {"PRIORITY", "6"},
                           {"TARN_SLOT", "0"},
                           {"TARN_COM", "7"},
                           {"TARN_RESULT", "PASS"},
                           {"TARN_BYTES", "123456789"},
                           {"TARN_SECONDS", "41.230"}});
  const Entry fail = with({{"MESSAGE_ID", tarn::host::kJobEndedMessageId},
                           {"MESSAGE", "slot 3 (COM4) FAIL in 2.5 s: e - the phone said %s\nand 100%% %n no"},
                           {"PRIORITY", "3"},
                           {"TARN_SLOT", "3"},
                           {"TARN_COM", "4"},
                           {"TARN_USB_PATH", "1-4.2"},
                           {"TARN_RESULT", "FAIL"},
                           {"TARN_REASON", "e - the phone said %s\nand 100%% %n no"},
                           {"TARN_BYTES", "4096"},
                           {"TARN_SECONDS", "2.500"}});
  const Entry batch = with({{"MESSAGE_ID", tarn::host::kBatchEndedMessageId},
                            {"MESSAGE", "batch " + kFacts.id + " ended: 1 passed, 1 failed, 0 stopped in 93.4 s"},
                            {"PRIORITY", "3"},
                            {"TARN_PASSED", "1"},
                            {"TARN_FAILED", "1"},
                            {"TARN_STOPPED", "0"},
                            {"TARN_SECONDS", "93.440"}});
  EXPECT_EQ(Journal(std::string("MESSAGE_ID=") + tarn::host::kJobEndedMessageId), (std::vector<Entry>{pass, fail}));
  EXPECT_EQ(Journal(std::string("MESSAGE_ID=") + tarn::host::kBatchEndedMessageId), std::vector<Entry>{batch});
  EXPECT_EQ(Journal("TARN_RESULT=FAIL"), std::vector<Entry>{fail});
}

}  // namespace
