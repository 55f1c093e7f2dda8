// SPDX-License-Identifier: Apache-2.0
// The faults a simulated phone can inject at each protocol phase of a job,
// the keld-sim plan that injects one, and what the job must end in with the
// texts it must show. The fault matrix runs every cell; the soak draws one
// per batch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/keld_sim.h"

namespace tarn::test {

enum class Fault { Fail, WrongEcho, Short, Unplug, Silence };
inline constexpr Fault kFaults[] = {Fault::Fail, Fault::WrongEcho, Fault::Short, Fault::Unplug, Fault::Silence};

const char* FaultName(Fault f);

enum class Setup { Plain, CsaClear, Format, Finish };
// How the job treats the answer at this place.
enum class Kind { Word, Fatal, Reported, FrameAnswer, RecordAnswer };

struct Phase {
  const char* name;
  int code;   // keld-sim fault code (0 for frames)
  int frame;  // data frame number for the frame phases
  Kind kind;
  Setup setup;
};

inline constexpr int kPhaseCount = 17;
extern const Phase kPhases[kPhaseCount];

enum class End { NotApplicable, Pass, Fail, FormatDone, Hung };

struct Expectation {
  End end = End::Pass;
  std::vector<std::wstring> statuses;  // must appear in this order
  std::vector<std::wstring> errors;    // must appear in this order
  const char* note = "";
};

// The result byte of every injected 0xFF answer.
inline constexpr std::uint8_t kFailResult = 7;
extern const std::wstring kTimedOut;

// What the expectations need to know of the faulted job: the platform its
// options name and the first partition-table member it sends, which a cut
// parameter record (zero partition sizes) refuses.
struct JobShape {
  int platform = 0;
  int firstIndex = 0;
  std::uint64_t firstSize = 0;
};

Expectation Expect(const Phase& p, Fault f, const JobShape& job);
// Silence, or a cut answer that silences the one after it: the job waits out
// the answer bound.
bool IsSlow(const Phase& p, Fault f);
sim::FaultPlan PlanFor(const Phase& p, Fault f);

// Empty when a slot's texts, errors and states end as a failed job's must:
// the last error "e - usb is disconnected!!", the last text "thread will be
// terminated." and an error state; otherwise what is missing, with the texts.
std::string FailedEndProblem(const std::vector<std::wstring>& texts, const std::vector<std::wstring>& errors,
                             const std::vector<int>& states);

// Texts `want` appear in `have` in this order (others may come between).
bool InOrder(const std::vector<std::wstring>& have, const std::vector<std::wstring>& want);
std::string Dump(const std::vector<std::wstring>& texts);

}  // namespace tarn::test
