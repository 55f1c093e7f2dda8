// SPDX-License-Identifier: Apache-2.0
#include "host/metrics_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace tarn::host {
namespace {

constexpr std::size_t kBuckets = std::size(MetricsFile::kDurationBuckets) + 1;  // and +Inf
constexpr const char* kRunningTag = "# tarn_batch_running ";
constexpr int kMaxSlot = 999;  // far past any station; a larger slot label is not ours

struct Histogram {
  std::array<double, kBuckets> buckets{};
  double sum = 0, count = 0;
};

// A batch some process had running at its last write. The process's start
// time (/proc/PID/stat, clock ticks since boot) tells a reused pid apart.
struct RunningBatch {
  std::string id;
  long pid = 0;
  unsigned long long started = 0;
};

using Labels = std::map<std::string, std::string, std::less<>>;

std::string Number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string BucketBound(std::size_t bucket) {
  return bucket + 1 < kBuckets ? Number(MetricsFile::kDurationBuckets[bucket]) : "+Inf";
}

bool IsResult(std::string_view text) { return text == "PASS" || text == "FAIL" || text == "STOPPED"; }

std::string Errno(int code) { return std::generic_category().message(code); }

unsigned long long ProcessStart(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto name = stat.rfind(')');
  if (name == std::string::npos) return 0;
  // After the command's closing parenthesis come fields 3 on; the start time is field 22.
  std::istringstream fields(stat.substr(name + 1));
  std::string field;
  for (int i = 3; i < 22; ++i) fields >> field;
  unsigned long long started = 0;
  return fields >> started ? started : 0;
}

// One sample line as this class writes it: NAME or NAME{k="v",...}, one
// space, a finite value that is not negative.
bool ParseSample(std::string_view line, std::string& name, Labels& labels, double& value) {
  const auto space = line.rfind(' ');
  if (space == std::string_view::npos) return false;
  const std::string_view number = line.substr(space + 1);
  const auto [end, failure] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (failure != std::errc() || end != number.data() + number.size() || !std::isfinite(value) || value < 0) {
    return false;
  }
  std::string_view series = line.substr(0, space);
  const auto brace = series.find('{');
  name = series.substr(0, brace);
  if (brace == std::string_view::npos) return !name.empty();
  if (series.back() != '}') return false;
  std::string_view rest = series.substr(brace + 1, series.size() - brace - 2);
  while (!rest.empty()) {
    const auto equals = rest.find("=\"");
    const auto quote = rest.find('"', equals + 2);
    if (equals == std::string_view::npos || quote == std::string_view::npos) return false;
    labels.emplace(rest.substr(0, equals), rest.substr(equals + 2, quote - equals - 2));
    rest.remove_prefix(quote + 1);
    if (!rest.empty() && rest.front() != ',') return false;
    if (!rest.empty()) rest.remove_prefix(1);
  }
  return true;
}

bool IsCount(double value) { return value == std::floor(value); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The whole file, empty when there is none yet; false (errno set) when it cannot be read.
bool ReadWhole(const std::string& path, std::string& text) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) return errno == ENOENT;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(file.Get(), buffer, sizeof buffer);
    if (got == 0) return true;
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) return false;
  }
}

bool WriteWhole(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = write(fd, text.data(), text.size());
    if (put < 0 && errno != EINTR) return false;
    if (put > 0) text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// The file replaced whole: a reader sees the old file or the new one, never
// half of one, and after a crash the new one is on disk or not at all. The
// temporary name does not end in ".prom", so the collector never reads it.
std::string Replace(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".tmp";
  unlink(temporary.c_str());  // a killed writer's leftover, perhaps another user's
  const Descriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (file.Get() < 0) return temporary + ": " + Errno(errno);
  // The collector runs as a user of its own: whatever our umask, it must read the file.
  if (fchmod(file.Get(), 0644) != 0 || !WriteWhole(file.Get(), text) || fsync(file.Get()) != 0 ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    const int code = errno;
    unlink(temporary.c_str());
    return temporary + ": " + Errno(code);
  }
  const std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
  const Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.Get() >= 0) fsync(directory.Get());
  return {};
}

std::string OneWord(const std::string& id) {
  std::string word = id.empty() ? "-" : id;
  for (char& c : word) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
  }
  return word;
}

}  // namespace

struct MetricsFile::Counts {
  std::map<std::pair<std::string, int>, double> jobs;  // (result, slot)
  double writtenBytes = 0;
  std::map<std::string, Histogram> durations;  // by result
  double batches = 0;
  double lastBatchEnd = 0;  // Unix time; 0 until a batch has ended
  std::vector<RunningBatch> running;
  std::string damage;  // where the file first could not be read; empty when all was

  static Counts Parse(std::string_view text);
  void Add(const Event& event);
  void KeepRunning(const std::string& ownBatch);
  bool Read(std::string_view line);
  bool ReadSample(const std::string& name, const Labels& labels, double value);
  bool ReadRunning(std::string_view line);
  void CheckDurations();
  std::string Text() const;
};

struct MetricsFile::Event {
  enum Kind { Started, Job, Ended } kind;
  const JobOutcome* job = nullptr;
};

MetricsFile::Counts MetricsFile::Counts::Parse(std::string_view text) {
  Counts counts;
  for (int number = 1; !text.empty(); ++number) {
    const auto end = text.find('\n');
    if (!counts.Read(text.substr(0, end)) && counts.damage.empty()) counts.damage = "line " + std::to_string(number);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  counts.CheckDurations();
  return counts;
}

void MetricsFile::Counts::Add(const Event& event) {
  if (event.kind == Event::Ended) {
    batches += 1;
    lastBatchEnd = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  }
  if (event.kind != Event::Job) return;
  const JobOutcome& job = *event.job;
  const std::string result = ResultName(job.result);
  if (job.slot >= 0 && job.slot <= kMaxSlot) jobs[{result, job.slot}] += 1;
  writtenBytes += static_cast<double>(job.bytes);
  const double seconds = std::isfinite(job.seconds) && job.seconds > 0 ? job.seconds : 0;
  Histogram& histogram = durations[result];
  for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
    if (bucket + 1 == kBuckets || seconds <= kDurationBuckets[bucket]) histogram.buckets[bucket] += 1;
  }
  histogram.sum += seconds;
  histogram.count += 1;
}

// A batch counts as in progress while its process lives. A process killed
// mid-batch never says its batch ended, so every write drops the batches of
// processes that have gone (pid and start time no longer match) and writes
// this process's own anew; the gauge is right again at the station's next
// write, and with two hosts each adds only its own batch. This assumes the
// hosts sharing the file see one another's processes (one pid namespace).
void MetricsFile::Counts::KeepRunning(const std::string& ownBatch) {
  const long self = getpid();
  std::erase_if(running, [self](const RunningBatch& batch) {
    return batch.pid == self || batch.started == 0 || ProcessStart(batch.pid) != batch.started;
  });
  if (!ownBatch.empty()) running.push_back({ownBatch, self, ProcessStart(self)});
}

bool MetricsFile::Counts::Read(std::string_view line) {
  if (line.empty() || line.rfind("# HELP tarn_", 0) == 0 || line.rfind("# TYPE tarn_", 0) == 0) return true;
  if (line.rfind(kRunningTag, 0) == 0) return ReadRunning(line.substr(std::string_view(kRunningTag).size()));
  std::string name;
  Labels labels;
  double value = 0;
  return ParseSample(line, name, labels, value) && ReadSample(name, labels, value);
}

bool MetricsFile::Counts::ReadSample(const std::string& name, const Labels& labels, double value) {
  const auto label = [&labels](const char* key) {
    const auto found = labels.find(key);
    return found == labels.end() ? std::string() : found->second;
  };
  const std::string result = label("result");
  const bool byResult = labels.size() >= 1 && IsResult(result);
  if (labels.empty() && IsCount(value)) {
    if (name == "tarn_written_bytes_total") return writtenBytes = value, true;
    if (name == "tarn_batches_total") return batches = value, true;
    if (name == "tarn_batch_in_progress") return true;  // worked out anew on every write
  }
  if (name == "tarn_last_batch_end_timestamp_seconds" && labels.empty()) return lastBatchEnd = value, true;
  if (!byResult) return false;
  if (name == "tarn_jobs_total" && labels.size() == 2 && IsCount(value)) {
    int slot = -1;
    const std::string text = label("slot");
    const auto end = std::from_chars(text.data(), text.data() + text.size(), slot).ptr;
    if (end != text.data() + text.size() || text.empty() || slot < 0 || slot > kMaxSlot) return false;
    return jobs[{result, slot}] = value, true;
  }
  if (name == "tarn_job_duration_seconds_sum" && labels.size() == 1) return durations[result].sum = value, true;
  if (!IsCount(value)) return false;
  if (name == "tarn_job_duration_seconds_count" && labels.size() == 1) return durations[result].count = value, true;
  if (name != "tarn_job_duration_seconds_bucket" || labels.size() != 2) return false;
  for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
    if (label("le") == BucketBound(bucket)) return durations[result].buckets[bucket] = value, true;
  }
  return false;
}

bool MetricsFile::Counts::ReadRunning(std::string_view line) {
  std::istringstream fields{std::string(line)};
  RunningBatch batch;
  std::string extra;
  if (!(fields >> batch.id >> batch.pid >> batch.started) || fields >> extra || batch.pid <= 0) return false;
  running.push_back(batch);
  return true;
}

// A histogram whose buckets do not rise to its count lost a line: its
// numbers no longer describe anything, so it starts again.
void MetricsFile::Counts::CheckDurations() {
  for (auto& [result, histogram] : durations) {
    bool sound = histogram.buckets.back() == histogram.count;
    for (std::size_t bucket = 1; bucket < kBuckets; ++bucket) {
      sound = sound && histogram.buckets[bucket - 1] <= histogram.buckets[bucket];
    }
    if (sound) continue;
    histogram = Histogram();
    if (damage.empty()) damage = "the " + result + " job durations do not add up";
  }
}

std::string MetricsFile::Counts::Text() const {
  std::string text;
  const auto family = [&text](const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  const auto sample = [&text](const std::string& series, double value) { text += series + " " + Number(value) + "\n"; };
  if (!jobs.empty()) family("tarn_jobs_total", "counter", "Phones whose job ended, by final result and slot (from 0).");
  for (const auto& [key, value] : jobs) {
    sample("tarn_jobs_total{result=\"" + key.first + "\",slot=\"" + std::to_string(key.second) + "\"}", value);
  }
  family("tarn_written_bytes_total", "counter", "Bytes of images written into phones.");
  sample("tarn_written_bytes_total", writtenBytes);
  if (!durations.empty()) family("tarn_job_duration_seconds", "histogram", "How long phones' jobs took, by result.");
  for (const auto& [result, histogram] : durations) {
    const std::string labels = "{result=\"" + result + "\"";
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
      sample("tarn_job_duration_seconds_bucket" + labels + ",le=\"" + BucketBound(bucket) + "\"}",
             histogram.buckets[bucket]);
    }
    sample("tarn_job_duration_seconds_sum" + labels + "}", histogram.sum);
    sample("tarn_job_duration_seconds_count" + labels + "}", histogram.count);
  }
  family("tarn_batches_total", "counter", "Batches that ran to their end.");
  sample("tarn_batches_total", batches);
  family("tarn_batch_in_progress", "gauge", "Batches running on this station when the file was written.");
  sample("tarn_batch_in_progress", static_cast<double>(running.size()));
  if (lastBatchEnd > 0) {
    family("tarn_last_batch_end_timestamp_seconds", "gauge", "When the last batch ended, in Unix time.");
    sample("tarn_last_batch_end_timestamp_seconds", lastBatchEnd);
  }
  for (const auto& batch : running) {
    text += kRunningTag + batch.id + " " + std::to_string(batch.pid) + " " + std::to_string(batch.started) + "\n";
  }
  return text;
}

MetricsFile::MetricsFile(std::string path) : path_(std::move(path)) {}

void MetricsFile::BatchStarted(const BatchFacts& facts) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    runningBatch_ = OneWord(facts.id);
  }
  Update({Event::Started});
}

void MetricsFile::JobEnded(const BatchFacts&, const JobOutcome& outcome) { Update({Event::Job, &outcome}); }

void MetricsFile::BatchEnded(const BatchFacts&, const BatchTotals&) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    runningBatch_.clear();
  }
  Update({Event::Ended});
}

std::string MetricsFile::Error() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return error_;
}

void MetricsFile::Update(const Event& event) {
  const std::lock_guard<std::mutex> hold(lock_);
  std::string problem;
  Rewrite(event, problem);
  if (error_.empty()) error_ = problem;
}

bool MetricsFile::Rewrite(const Event& event, std::string& problem) {
  const auto fail = [&](const std::string& reason) {
    problem = "e - the metrics file " + path_ + " cannot be written: " + reason;
    return false;
  };
  const std::string lockPath = path_ + ".lock";
  // Read-only is enough to lock, so a lock file another user made serves as well.
  const Descriptor lock(open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  if (lock.Get() < 0) return fail(lockPath + ": " + Errno(errno));
  while (flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return fail(lockPath + ": " + Errno(errno));
  }
  std::string text;
  // Writing over a file we could not read would set its counters back to zero.
  if (!ReadWhole(path_, text)) return fail("it cannot be read: " + Errno(errno));
  Counts counts = Counts::Parse(text);
  counts.Add(event);
  counts.KeepRunning(runningBatch_);
  const std::string failure = Replace(path_, counts.Text());
  if (!failure.empty()) return fail(failure);
  if (!counts.damage.empty()) {
    problem = "e - the metrics file " + path_ + " is damaged or not tarn's (" + counts.damage +
              "): what could not be read starts again from zero";
  }
  return true;
}

}  // namespace tarn::host
