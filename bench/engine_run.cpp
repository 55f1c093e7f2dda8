// SPDX-License-Identifier: Apache-2.0
// The engine flashing simulated phones in this process.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "bench/bench.h"
#include "engine/checksum.h"
#include "engine/events.h"
#include "engine/options.h"
#include "engine/pell_linux_np.h"
#include "platform/messages.h"
#include "sim/keld_sim.h"

namespace tarn::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRunLimit = std::chrono::minutes(30);

struct SlotTimes {
  Clock::time_point start, end;
  bool passed = false;
  bool ended = false;
};

// Serves `links` simulated phones in a child process, so that their CPU time
// is not counted as the engine's; the child ends when `hold` closes. Returns
// its pid once every phone answers, or -1.
pid_t ServePhones(int links, std::size_t imageBytes, int* hold) {
  int ready[2], wait[2];
  if (pipe(ready) != 0 || pipe(wait) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(wait[1]);
    std::vector<std::unique_ptr<sim::SimPhone>> phones;
    for (int i = 0; i < links; ++i) {
      sim::PhoneConfig config;
      config.greeting = "LAST";
      config.loaderVersion = 7;
      config.comNumber = i + 1;
      config.index = i;
      config.preparedBytes = imageBytes;
      phones.push_back(std::make_unique<sim::SimPhone>(config));
      if (!phones.back()->Start()) _exit(1);
    }
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    char end = 0;
    while (read(wait[0], &end, 1) > 0) {
    }
    phones.clear();
    _exit(0);
  }
  close(ready[1]);
  close(wait[0]);
  char byte = 0;
  const bool started = child > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  *hold = wait[1];
  if (!started) {
    close(wait[1]);
    if (child > 0) waitpid(child, nullptr, 0);
    return -1;
  }
  return child;
}

// Waits for the phones' process to end and returns the CPU time it used.
CpuTimes ReapPhones(pid_t phones) {
  rusage usage{};
  int status = 0;
  if (wait4(phones, &status, 0, &usage) != phones) return {};
  return CpuTimes::Of(usage);
}

}  // namespace

LinkRates RunEngine(int links, std::uint32_t mib, const std::filesystem::path& pda) {
  int hold = -1;
  const pid_t phones = ServePhones(links, std::size_t{mib} * kMiB, &hold);
  if (phones < 0) return {};
  std::map<int, SlotTimes> times;
  // The machine's load from the first transfer's start to the last one's end.
  MachineTimes machineStart, machineEnd;
  int transferring = 0, mostAtOnce = 0;
  auto host = platform::CMessageTarget::Create([&](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == platform::WM_HOST_QUERY_CONTROL) return platform::ControlAnswer(0);  // factory mode off
    if (message == WM_JOB_STATE && lParam == STATE_PDA_START) {
      if (transferring++ == 0) machineStart = MachineTimes::Now();
      mostAtOnce = std::max(mostAtOnce, transferring);
      times[static_cast<int>(wParam)].start = Clock::now();
    }
    if (message == WM_JOB_STATE && lParam == STATE_PDA_END) {
      if (--transferring == 0) machineEnd = MachineTimes::Now();
      times[static_cast<int>(wParam)].end = Clock::now();
    }
    if (message == WM_JOB_PASS) times[static_cast<int>(wParam)].passed = true;
    return 1;
  });
  platform::SetMainWindow(host);

  ResetPeakRss();
  const CpuTimes before = CpuTimes::Now();
  const std::uint64_t waitedBefore = ChecksumsWaitedFor();
  std::vector<std::unique_ptr<CPellLinuxNp>> engines;
  ENGINE_OPTIONS options{1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  for (int i = 0; i < links; ++i) {
    engines.push_back(std::make_unique<CPellLinuxNp>());
    auto& engine = *engines.back();
    engine.Init(L"K-Project");
    engine.SetPdaPath(pda.wstring().c_str());
    engine.SetImageMask(IMAGE_MASK_PDA);
    engine.SetTotalSize(static_cast<std::int32_t>(mib * kMiB));
    engine.SetOptions(&options);
    engine.StartJob(static_cast<std::int16_t>(i + 1), static_cast<std::int16_t>(i));
  }
  const auto deadline = Clock::now() + kRunLimit;
  for (;;) {
    bool running = false;
    for (auto& engine : engines) {
      std::int16_t r = 0;
      engine->IsJobRunning(&r);
      running = running || r != 0;
    }
    if (!running || Clock::now() > deadline) break;
    host->WaitAndDispatch(std::chrono::milliseconds(20));
  }
  host->DispatchPending();
  LinkRates rates;
  rates.cpu = CpuTimes::Now() - before;
  rates.machineBusyCores = machineEnd.BusyCoresSince(machineStart);
  rates.mostAtOnce = mostAtOnce;
  rates.peakRssKiB = PeakRssKiB();
  rates.digestsWaitedFor = ChecksumsWaitedFor() - waitedBefore;
  close(hold);
  rates.phonesCpu = ReapPhones(phones);
  for (int i = 0; i < links; ++i) {
    const auto& t = times[i];
    const double seconds = std::chrono::duration<double>(t.end - t.start).count();
    rates.mibPerSecond.push_back(t.passed && seconds > 0 ? mib / seconds : 0.0);
  }
  host->Detach();
  platform::SetMainWindow(nullptr);
  return rates;
}

}  // namespace tarn::bench
