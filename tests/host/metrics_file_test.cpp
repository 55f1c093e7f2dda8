// SPDX-License-Identifier: Apache-2.0
// The metrics file through real batches, runs and processes, read back the
// way a collector would, and checked by the metrics tool of the collector's
// own project.
#include "host/metrics_file.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <thread>

#include "tests/testsupport/temp_dir.h"

namespace {

using namespace tarn::host;

constexpr const char* kPromtool = "/usr/bin/promtool";

JobOutcome Job(int slot, SlotResult result, std::uint64_t bytes, double seconds, const char* reason = "") {
  JobOutcome job;
  job.slot = slot;
  job.com = slot + 1;
  job.result = result;
  job.reason = reason;
  job.bytes = bytes;
  job.seconds = seconds;
  return job;
}

// Every sample line, series to value, as a collector reads them.
std::map<std::string, double> Samples(const std::filesystem::path& file) {
  std::map<std::string, double> samples;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.rfind(' ');
    samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
  }
  return samples;
}

double Unix() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

// promtool's verdict on the file: empty when it takes it, else its output.
std::string PromtoolComplaint(const std::filesystem::path& file) {
  const std::string command = std::string(kPromtool) + " check metrics < '" + file.string() + "' 2>&1";
  FILE* out = popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  while (out && fgets(buffer, sizeof buffer, out)) text += buffer;
  const int status = out ? pclose(out) : -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "promtool: " + text;
}

bool HavePromtool() { return access(kPromtool, X_OK) == 0; }

const char* const kNoPromtool =
    "promtool is not installed (package prometheus, which scripts/install-deps.sh installs)";

void RunBatch(MetricsFile& metrics, const BatchFacts& facts, std::initializer_list<JobOutcome> jobs) {
  metrics.BatchStarted(facts);
  for (const auto& job : jobs) metrics.JobEnded(facts, job);
  metrics.BatchEnded(facts, BatchTotals{});
}

TEST(MetricsFile, CountsGoOnAcrossRunsProcessesAndAKilledRun) {
  if (!HavePromtool() && std::getenv("CI")) FAIL() << kNoPromtool;
  tarn::test::TempDir dir;
  const auto path = dir / "tarn.prom";
  const BatchFacts facts{"0123abcd", "tarn-flash", "PDA.tar", "", "", {}};
  const double before = Unix();
  {
    MetricsFile first(path);
    first.BatchStarted(facts);
    EXPECT_EQ(1, Samples(path)["tarn_batch_in_progress"]);
    first.JobEnded(facts, Job(0, SlotResult::Passed, 1000, 42));
    first.JobEnded(facts, Job(1, SlotResult::Failed, 10, 3, "the phone did not answer"));
    first.JobEnded(facts, Job(2, SlotResult::Stopped, 0, 700));
    first.BatchEnded(facts, BatchTotals{1, 1, 1, 745});
    EXPECT_EQ("", first.Error());
  }
  // The next run, a new process as tarn-flash is: its counts add to the first's.
  MetricsFile second(path);
  RunBatch(second, facts, {Job(0, SlotResult::Passed, 500, 1500)});
  EXPECT_EQ("", second.Error());

  auto samples = Samples(path);
  const std::map<std::string, double> expected = {
      {"tarn_jobs_total{result=\"PASS\",slot=\"0\"}", 2},
      {"tarn_jobs_total{result=\"FAIL\",slot=\"1\"}", 1},
      {"tarn_jobs_total{result=\"STOPPED\",slot=\"2\"}", 1},
      {"tarn_written_bytes_total", 1510},
      {"tarn_batches_total", 2},
      {"tarn_batch_in_progress", 0},
      {"tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"30\"}", 0},
      {"tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"60\"}", 1},
      {"tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"1800\"}", 2},
      {"tarn_job_duration_seconds_count{result=\"PASS\"}", 2},
      {"tarn_job_duration_seconds_sum{result=\"PASS\"}", 1542},
      {"tarn_job_duration_seconds_bucket{result=\"STOPPED\",le=\"600\"}", 0},
      {"tarn_job_duration_seconds_bucket{result=\"STOPPED\",le=\"900\"}", 1},
  };
  for (const auto& [series, value] : expected) EXPECT_EQ(value, samples[series]) << series;
  const double ended = samples["tarn_last_batch_end_timestamp_seconds"];
  EXPECT_TRUE(ended >= before && ended <= Unix()) << ended;
  for (const char* result : {"PASS", "FAIL", "STOPPED"}) {
    double below = 0;
    const std::string series = std::string("tarn_job_duration_seconds_bucket{result=\"") + result + "\",le=\"";
    for (double bound : MetricsFile::kDurationBuckets) {
      const double count = samples.at(series + std::to_string(static_cast<int>(bound)) + "\"}");
      EXPECT_LE(below, count) << result << " " << bound;
      below = count;
    }
    EXPECT_EQ(samples.at(series + "+Inf\"}"),
              samples.at(std::string("tarn_job_duration_seconds_count{result=\"") + result + "\"}"));
  }

  // A run killed mid-batch leaves its batch in progress until the next write drops it.
  const pid_t killed = fork();
  if (killed == 0) {
    MetricsFile(path).BatchStarted(facts);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(killed, waitpid(killed, &status, 0));
  EXPECT_EQ(1, Samples(path)["tarn_batch_in_progress"]);
  second.BatchStarted(facts);
  EXPECT_EQ(1, Samples(path)["tarn_batch_in_progress"]);
  second.BatchEnded(facts, BatchTotals{});
  EXPECT_EQ(0, Samples(path)["tarn_batch_in_progress"]);

  // Two hosts writing at once: each one's jobs are counted, none lost.
  constexpr int kEach = 40;
  const auto writer = [&path, &facts] {
    MetricsFile metrics(path);
    for (int i = 0; i < kEach; ++i) metrics.JobEnded(facts, Job(5, SlotResult::Passed, 1, 20));
  };
  std::thread other(writer);
  writer();
  other.join();
  EXPECT_EQ(2 * kEach, Samples(path)["tarn_jobs_total{result=\"PASS\",slot=\"5\"}"]);

  // The collector reads every *.prom in the folder: nothing else of ours may end so.
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_TRUE(entry.path() == path || entry.path().extension() != ".prom") << entry.path();
  }
  // Every metric the fleet guide names is one the file has.
  std::ifstream guideFile(std::filesystem::path(__FILE__).parent_path() / "../../docs/fleet.md");
  const std::string guide((std::istreambuf_iterator<char>(guideFile)), std::istreambuf_iterator<char>());
  std::ifstream writtenFile(path);
  const std::string written((std::istreambuf_iterator<char>(writtenFile)), std::istreambuf_iterator<char>());
  static const std::regex metric("tarn_[a-z_]+");
  int named = 0;
  for (std::sregex_iterator it(guide.begin(), guide.end(), metric), end; it != end; ++it, ++named) {
    EXPECT_NE(std::string::npos, written.find("# TYPE " + it->str() + " ")) << it->str();
  }
  EXPECT_LE(6, named);
  if (!HavePromtool()) GTEST_SKIP() << kNoPromtool;
  EXPECT_EQ("", PromtoolComplaint(path));
}

TEST(MetricsFile, ADamagedOrUnwritableFileIsSaidOnceAndNeverStopsABatch) {
  tarn::test::TempDir dir;
  const auto path = dir / "tarn.prom";
  const BatchFacts facts{"0123abcd", "tarn-flash", "PDA.tar", "", "", {}};
  std::ofstream(path) << "tarn_jobs_total{result=\"PASS\",slot=\"0\"} 7\n"
                         "tarn_written_bytes_total twelve\n"
                         "some_other_metric 3\n"
                         "tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"5\"} 9\n";
  MetricsFile damaged(path);
  damaged.JobEnded(facts, Job(0, SlotResult::Passed, 100, 20));
  const std::string said = damaged.Error();
  EXPECT_EQ("e - the metrics file " + path.string() +
                " is damaged or not tarn's (line 2): what could not be read starts again from zero",
            said);
  damaged.JobEnded(facts, Job(0, SlotResult::Passed, 100, 20));
  EXPECT_EQ(said, damaged.Error());
  auto samples = Samples(path);
  EXPECT_EQ(9, samples["tarn_jobs_total{result=\"PASS\",slot=\"0\"}"]);
  EXPECT_EQ(200, samples["tarn_written_bytes_total"]);
  EXPECT_EQ(0, samples.count("some_other_metric"));
  // The broken histogram starts again whole rather than from its one surviving bucket.
  EXPECT_EQ(0, samples["tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"5\"}"]);
  EXPECT_EQ(2, samples["tarn_job_duration_seconds_bucket{result=\"PASS\",le=\"30\"}"]);
  // Once rewritten the file is whole again: the next run has nothing to say.
  MetricsFile next(path);
  RunBatch(next, facts, {});
  EXPECT_EQ("", next.Error());

  const auto nowhere = dir / "gone" / "tarn.prom";
  MetricsFile unwritable(nowhere);
  RunBatch(unwritable, facts, {Job(0, SlotResult::Passed, 1, 1)});
  EXPECT_EQ("e - the metrics file " + nowhere.string() + " cannot be written: " + nowhere.string() +
                ".lock: No such file or directory",
            unwritable.Error());
  if (!HavePromtool()) GTEST_SKIP() << kNoPromtool;
  EXPECT_EQ("", PromtoolComplaint(path));
}

}  // namespace
