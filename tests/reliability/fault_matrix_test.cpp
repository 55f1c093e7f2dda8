// SPDX-License-Identifier: Apache-2.0
// The fault matrix: every protocol phase of a job against every fault the
// simulated phone can inject. Each cell must end before a generous deadline
// with the texts this place calls for, its port closed, its member table
// freed, its image unmapped, and no descriptor or thread left behind. Cells
// run eight at a time (one per slot); the matrix is printed at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/kelpa3_engine.h"
#include "engine/events.h"
#include "engine/options.h"
#include "platform/text.h"
#include "tests/testsupport/job_harness.h"
#include "tests/reliability/fault_set.h"
#include "tests/reliability/resource_count.h"
#include "tests/testsupport/test_images.h"

namespace {

// The harness, test images, and the phases, faults and expectations.
using namespace tarn::test;
namespace sim = tarn::sim;

constexpr int kPlatform = 3;
const std::string kZImage = Pattern(2 * 131072 + 5000, 11);  // three frames in one piece
// Each cell's job: one zImage (partition 3) on platform kPlatform.
const JobShape kJob{kPlatform, 3, kZImage.size()};

struct Cell {
  const Phase* phase = nullptr;
  Fault fault = Fault::Fail;
  Expectation expect;
  std::string observed;
  bool ok = true;
};

class FaultMatrix : public ::testing::Test {
 protected:
  // Eight cells at a time, one per slot, each on its own simulated phone.
  void RunGroup(const std::vector<Cell*>& cells, double clockScale) {
    JobHarness h(clockScale);
    std::vector<CPellLinuxNp*> engines;
    std::vector<sim::SimPhone*> phones;
    std::vector<std::filesystem::path> images;
    std::vector<JobSpec> specs;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const Cell& cell = *cells[i];
      const int com = static_cast<int>(i) + 1;
      sim::PhoneConfig config = JobHarness::Config(cell.phase->setup == Setup::Finish ? 8 : 7);
      config.platform = cell.phase->setup == Setup::Finish ? 2 : kPlatform;
      config.faults = PlanFor(*cell.phase, cell.fault);
      phones.push_back(&h.AddPhone(com, config));
      std::vector<tarn::test::TarMember> members;
      if (cell.phase->setup == Setup::Format) {
        members = {{"boot.bin", Pattern(4000, 1)}, {"sbl.bin", Pattern(3000, 2)}};
      }
      members.push_back({"zImage", kZImage});
      images.push_back(h.Image("cell" + std::to_string(i) + ".tar", BuildTar(members)));
      JobSpec spec = tarn::test::PdaJob(com, static_cast<int>(i), images.back());
      spec.options.nPlatform = config.platform;
      spec.options.bCsaClear = cell.phase->setup == Setup::CsaClear ? 1 : 0;
      spec.options.bBootFormat = cell.phase->setup == Setup::Format ? 1 : 0;
      spec.options.bAutoReboot = cell.phase->setup == Setup::Finish ? 0 : 1;
      specs.push_back(spec);
    }
    const tarn::test::Resources before = tarn::test::Measure();
    for (const auto& spec : specs) engines.push_back(&h.Start(spec));
    const bool ended = h.host.RunUntil(
        [&] {
          for (auto* engine : engines) {
            std::int16_t running = 0;
            engine->IsJobRunning(&running);
            if (running) return false;
          }
          return true;
        },
        kGroupDeadline);
    int unplugged = 0;
    for (auto* phone : phones) unplugged += phone->Stats().unplugs;
    if (!ended) {
      for (auto* engine : engines) engine->StopJob();
      h.WaitAll();
    }
    EXPECT_EQ(tarn::test::WaitForThreadCount(before.threads, std::chrono::seconds(10)), before.threads)
        << "a job thread is left behind";
    // An unplugged phone closes both sides of its pseudo-terminal.
    EXPECT_EQ(tarn::test::OpenFdCount(), before.fds - 2 * unplugged) << "a descriptor is left behind";

    for (std::size_t i = 0; i < cells.size(); ++i) {
      Cell& cell = *cells[i];
      const int slot = static_cast<int>(i);
      std::int16_t running = 0;
      engines[i]->IsJobRunning(&running);
      SCOPED_TRACE(std::string(cell.phase->name) + " x " + FaultName(cell.fault));
      CheckCell(cell, h, slot, running != 0, *engines[i], images[i], *phones[i]);
    }
  }

  void CheckCell(Cell& cell, JobHarness& h, int slot, bool running, CPellLinuxNp& engine,
                 const std::filesystem::path& image, sim::SimPhone& phone) {
    const auto texts = h.host.Texts(slot);
    const auto errors = h.host.Errors(slot);
    const auto states = h.host.States(slot);
    End seen = End::Pass;
    if (running) {
      seen = End::Hung;
    } else if (h.host.Passed(slot)) {
      seen = End::Pass;
    } else if (errors.empty() && !states.empty() && states.back() == STATE_FORMAT) {
      seen = End::FormatDone;
    } else {
      seen = End::Fail;
    }
    const Expectation& want = cell.expect;
    const int failuresBefore = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    EXPECT_FALSE(running) << "did not end before the deadline";
    EXPECT_TRUE(seen == want.end) << "ended otherwise\n" << Dump(texts) << Dump(errors);
    EXPECT_FALSE(engine.Context().m_device.IsOpen()) << "port left open";
    EXPECT_TRUE(engine.Context().m_members.empty()) << "member table left";
    EXPECT_FALSE(tarn::test::IsMapped(image)) << "image left mapped";
    EXPECT_EQ(phone.Stats().unplugs, cell.fault == Fault::Unplug ? 1 : 0);
    EXPECT_TRUE(InOrder(texts, want.statuses)) << Dump(texts);
    EXPECT_TRUE(InOrder(errors, want.errors)) << Dump(errors);
    if (want.end == End::Fail) {
      EXPECT_EQ(FailedEndProblem(texts, errors, states), "");
    }
    if (want.end == End::Pass) {
      EXPECT_TRUE(errors.empty()) << Dump(errors);
      EXPECT_TRUE(h.Stored(static_cast<int>(slot) + 1, "part03.bin") == kZImage) << "image not byte-exact";
      if (want.statuses.empty()) {
        for (const auto& t : texts) {
          EXPECT_TRUE(t.rfind(L"e - ", 0) != 0 && t.rfind(L"Command ", 0) != 0) << "unexpected report: " << t;
        }
      }
    }
    cell.ok = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() == failuresBefore;
    cell.observed = Describe(seen, cell);
  }

  static std::string Describe(End seen, const Cell& cell) {
    std::string text;
    switch (seen) {
      case End::Pass: text = cell.expect.statuses.empty() ? "PASS" : "PASS, reported"; break;
      case End::Fail: text = cell.fault == Fault::Unplug ? "FAIL, unplugged" : "FAIL"; break;
      case End::FormatDone: text = "format done"; break;
      case End::Hung: text = "HUNG"; break;
      case End::NotApplicable: text = "n/a"; break;
    }
    if (std::string(cell.expect.note) == "accepted by design: any echo") text = "PASS, accepted";
    return cell.ok ? text : text + " (!)";
  }

  static void Print(const std::vector<Cell>& cells) {
    std::printf("\nFault matrix (phase x fault -> outcome; (!) marks a cell that broke its checks)\n");
    std::printf("%-20s", "phase");
    for (Fault f : kFaults) std::printf("| %-17s", FaultName(f));
    std::printf("\n");
    for (const Phase& p : kPhases) {
      std::printf("%-20s", p.name);
      for (Fault f : kFaults) {
        for (const Cell& c : cells) {
          if (c.phase == &p && c.fault == f) std::printf("| %-17s", c.observed.c_str());
        }
      }
      std::printf("\n");
    }
    std::printf(
        "PASS, reported: the Parts report the fault and let the job go on; "
        "PASS, accepted: any echo is taken there; n/a: that place answers with a word or record\n");
    std::fflush(stdout);
  }

  static constexpr std::chrono::seconds kGroupDeadline{100};
};

TEST_F(FaultMatrix, EveryPhaseAndFaultEndsCleanlyWithItsTexts) {
  std::vector<Cell> cells;
  for (const Phase& p : kPhases) {
    for (Fault f : kFaults) {
      Cell cell;
      cell.phase = &p;
      cell.fault = f;
      cell.expect = Expect(p, f, kJob);
      if (cell.expect.end == End::NotApplicable) cell.observed = "n/a";
      cells.push_back(cell);
    }
  }
  // Silent phones wait out the first-byte bound: they run together on a
  // faster clock; the rest on the harness's usual one.
  std::vector<Cell*> slow, fast;
  for (Cell& c : cells) {
    if (c.expect.end == End::NotApplicable) continue;
    (IsSlow(*c.phase, c.fault) ? slow : fast).push_back(&c);
  }
  int run = 0;
  for (auto* list : {&slow, &fast}) {
    const double scale = list == &slow ? 0.03 : 0.05;
    for (std::size_t at = 0; at < list->size(); at += 8) {
      const std::vector<Cell*> group(list->begin() + static_cast<std::ptrdiff_t>(at),
                                     list->begin() + static_cast<std::ptrdiff_t>(std::min(at + 8, list->size())));
      RunGroup(group, scale);
      run += static_cast<int>(group.size());
    }
  }
  Print(cells);
  EXPECT_EQ(run, 77);  // 17 phases x 5 faults, less the 8 places without a response record
}

}  // namespace
