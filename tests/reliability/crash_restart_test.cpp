// SPDX-License-Identifier: Apache-2.0
// tarn-flash killed with SIGKILL at points of a batch of eight simulated
// phones, each point found by watching what a phone has received, and run
// again on the same phones: the next run must pass with every partition
// byte-exact, no port left locked and the serial-port map untouched.
// Each test's points come from a seed it prints; TARN_CRASH_SEED replays one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/cli/flash_run_fixture.h"
#include "tests/testsupport/build_kind.h"
#include "tests/testsupport/temp_dir.h"

namespace {

using namespace tarn::test;
using tarn::sim::SimPhone;

constexpr int kPhones = 8;
constexpr int kFirstCom = 40;
// Twenty points in two tests of ten, which ctest can run side by side.
// Sanitizer builds run every phase once: their runs are several times
// slower, and the default build covers the twenty points.
constexpr int kPointsPerTest = kSanitizedBuild ? 5 : 10;
// The phones' own default: shorter ones save little and a sanitizer build on
// a busy machine may pause a healthy host inside a frame for half a second.
constexpr int kReceiveTimeoutMs = 1000;
constexpr auto kRunDeadline = std::chrono::seconds(120);

enum class Phase { Greeting, Parameters, Frames, Commit, Reset };
constexpr Phase kPhases[] = {Phase::Greeting, Phase::Parameters, Phase::Frames, Phase::Commit, Phase::Reset};

const char* Name(Phase phase) {
  switch (phase) {
    case Phase::Greeting: return "greeting";
    case Phase::Parameters: return "parameters";
    case Phase::Frames: return "frames";
    case Phase::Commit: return "commit";
    case Phase::Reset: return "reset";
  }
  return "?";
}

bool InPhase(Phase phase, int code) {
  switch (phase) {
    case Phase::Greeting: return code == tarn::sim::kGreetingCode;
    case Phase::Parameters: return code == 703 || code == 704;  // SetParam, GetParam
    case Phase::Commit: return code >= 500 && code < 700;       // the write command after a piece's frames
    case Phase::Reset: return code == 707 || code == 714;       // Reset or its successor
    case Phase::Frames: return false;
  }
  return false;
}

// The phone of `slot` has received the `depth`-th command (or frame) of
// `phase` since the run began; then the host is killed, after `delayUs`.
struct KillPoint {
  Phase phase;
  int slot;
  int depth;
  int delayUs;
};

KillPoint PointFor(int n, std::mt19937& random) {
  const Phase phase = kPhases[n % std::size(kPhases)];
  const int depths = phase == Phase::Frames || phase == Phase::Commit ? 4 : 1;
  return {phase, std::uniform_int_distribution<int>(0, kPhones - 1)(random),
          std::uniform_int_distribution<int>(1, depths)(random), std::uniform_int_distribution<int>(0, 3000)(random)};
}

unsigned Seed() {
  const char* given = std::getenv("TARN_CRASH_SEED");
  return given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
}

struct Mark {
  std::size_t commands;
  int frames;
};

bool Reached(const SimPhone& phone, const KillPoint& point, Mark from) {
  if (point.phase == Phase::Frames) return phone.Stats().frames - from.frames >= point.depth;
  const auto commands = phone.Commands();
  const auto seen = std::count_if(commands.begin() + static_cast<long>(from.commands), commands.end(),
                                  [&](const auto& c) { return InPhase(point.phase, c.code); });
  return seen >= point.depth;
}

// Relative path -> file content or link target: the whole serial-port map.
std::map<std::string, std::string> MapSnapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> snapshot;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_symlink()) {
      snapshot[name] = "-> " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      snapshot[name] = ReadFile(entry.path());
    }
  }
  return snapshot;
}

// Free for the next job: no exclusive flag left on the tty and no lock held.
bool PortFree(const std::filesystem::path& tty) {
  const int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int exclusive = 1;
  const bool free = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

class CrashRestart : public FlashRun {
 protected:
  void SetUp() override {
    FlashRun::SetUp();
    for (int i = 0; i < kPhones; ++i) {
      tarn::sim::PhoneConfig config = Config(i, kFirstCom + i);
      config.receiveTimeoutMs = kReceiveTimeoutMs;
      AddPhone(config);
    }
    args_ = AllImages();
    // A phone that never answers fails the run instead of hanging it.
    args_.insert(args_.end(), {"--no-factory-mode", "--answer-timeout", "20"});
  }

  // Runs `program` and kills it once the point is reached; true when the
  // kill came before the program ended by itself.
  bool RunAndKill(const std::string& program, const std::vector<std::string>& args, const KillPoint& point) {
    const SimPhone& phone = *phones_[static_cast<std::size_t>(point.slot)];
    const Mark from{phone.Commands().size(), phone.Stats().frames};
    std::atomic<bool> ended{false};
    std::atomic<bool> reached{false};
    std::thread killer;
    const ToolRun run = RunTool(program, args, [&](int pid) {
      killer = std::thread([&, pid] {
        const auto deadline = std::chrono::steady_clock::now() + kRunDeadline;
        while (!ended.load() && !reached.load() && std::chrono::steady_clock::now() < deadline) {
          reached = Reached(phone, point, from);
          if (!reached.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (ended.load()) return;
        std::this_thread::sleep_for(std::chrono::microseconds(point.delayUs));
        kill(pid, SIGKILL);
      });
    });
    ended = true;
    killer.join();
    if (!reached.load())
      std::printf("the point was not reached; the program wrote:\n%s%s", run.out.c_str(), run.err.c_str());
    return reached.load() && run.exitCode == -1;
  }

  // After a kill at `where`: the ports free, the map as it was, and a new
  // tarn-flash run that passes byte-exact on every phone.
  void ExpectRecovered(const std::string& where, const std::map<std::string, std::string>& map) {
    // What a phone half received is dropped after its receive time-out.
    std::this_thread::sleep_for(std::chrono::milliseconds(kReceiveTimeoutMs + 200));
    for (const auto& phone : phones_) EXPECT_TRUE(PortFree(phone->TtyPath())) << where << ": " << phone->TtyPath();
    EXPECT_EQ(MapSnapshot(dir_ / "map"), map) << where;
    ClearStoredFiles();
    const ToolRun again = RunTool(TARN_FLASH_PATH, args_);
    ASSERT_EQ(again.exitCode, kExitPassed) << where << "\n" << again.out << again.err;
    ExpectEveryPhonePassed(again);
  }

  // Kills `program` at `points` points of the seeded sequence, each followed
  // by a tarn-flash run on the same phones; counts the kills per phase.
  void KillAndRecover(const std::string& program, const std::vector<std::string>& args, int points) {
    const unsigned seed = Seed();
    std::printf("seed %u (TARN_CRASH_SEED=%u replays it)\n", seed, seed);
    std::mt19937 random(seed);
    const auto map = MapSnapshot(dir_ / "map");
    for (int n = 0; n < points; ++n) {
      const KillPoint point = PointFor(n, random);
      const std::string where = std::string(Name(point.phase)) + " #" + std::to_string(point.depth) + " on COM" +
                                std::to_string(kFirstCom + point.slot) + " +" + std::to_string(point.delayUs) + " us";
      const bool wasKilled = RunAndKill(program, args, point);
      killed_[point.phase] += wasKilled ? 1 : 0;
      std::printf("point %2d: %-36s %s\n", n + 1, where.c_str(), wasKilled ? "killed" : "ended before the point");
      std::fflush(stdout);
      ExpectRecovered(where, map);
      if (HasFailure()) FAIL() << "after the kill at " << where << " (seed " << seed << ")";
    }
    int timeouts = 0;
    for (const auto& phone : phones_) timeouts += phone->Stats().receiveTimeouts;
    std::printf("phones' receive time-outs: %d\n", timeouts);
  }

  void KillTarnFlashInEveryPhase() {
    KillAndRecover(TARN_FLASH_PATH, args_, kPointsPerTest);
    for (Phase phase : kPhases) EXPECT_GE(killed_[phase], 1) << Name(phase) << " was never hit";
  }

  // Forgets what the phones stored, so that only the next run can make it exact.
  void ClearStoredFiles() {
    for (int com = kFirstCom; com < kFirstCom + kPhones; ++com) EmptyFolder(dir_ / ("phone" + std::to_string(com)));
  }

  void ExpectEveryPhonePassed(const ToolRun& run) {
    for (int slot = 0; slot < kPhones; ++slot) {
      const std::string prefix = "[  " + std::to_string(slot) + "  ] ";
      EXPECT_NE(run.out.find(prefix + "open COM" + std::to_string(kFirstCom + slot) + "\n"), std::string::npos);
      EXPECT_NE(run.out.find(prefix + "PASS\n"), std::string::npos) << slot;
      ExpectFlashedExactly(kFirstCom + slot);
    }
  }

  std::vector<std::string> args_;
  std::map<Phase, int> killed_;
};

TEST_F(CrashRestart, EveryRunAfterAKillPassesOnTheSamePhones) { KillTarnFlashInEveryPhase(); }

TEST_F(CrashRestart, TenMoreKillPointsOfASeedOfTheirOwn) {
  if (kSanitizedBuild) GTEST_SKIP() << "the first test's points cover every phase in a sanitizer build";
  KillTarnFlashInEveryPhase();
}

#ifdef TARN_CRASH_WINDOW_PATH
// The window killed in the greeting, parameters, frames and commit phases.
TEST_F(CrashRestart, AWindowKilledMidBatchLeavesPhonesTheNextRunFlashes) {
  constexpr int kWindowPoints = 4;
  KillAndRecover(TARN_CRASH_WINDOW_PATH,
                 {(dir_ / "settings").string(), Image(spec_.pdaName), Image(spec_.cscName), Image(spec_.phoneName)},
                 kWindowPoints);
  for (int n = 0; n < kWindowPoints; ++n) EXPECT_EQ(killed_[kPhases[n]], 1) << Name(kPhases[n]);
}
#endif

}  // namespace
