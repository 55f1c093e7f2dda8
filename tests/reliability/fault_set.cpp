// SPDX-License-Identifier: Apache-2.0
#include "tests/reliability/fault_set.h"

#include <algorithm>

#include "engine/events.h"
#include "platform/text.h"

namespace tarn::test {
namespace {

std::wstring Failed(int echo, int result) {
  return platform::Widen("e - Command " + std::to_string(echo) + " Failed. result " + std::to_string(result) + "\n");
}
std::wstring Respond(int code, int echo) {
  return platform::Widen("Command " + std::to_string(code) + ", respond " + std::to_string(echo) + "\n");
}

// What the word and record answers lead to when cut short or missing.
Expectation ExpectWord(const Phase& p, Fault f, const JobShape& job) {
  if (f == Fault::Fail || f == Fault::WrongEcho) return {End::NotApplicable, {}, {}, "no response record here"};
  std::vector<std::wstring> lead;
  if (f == Fault::Silence) lead.push_back(kTimedOut);
  auto with = [&](std::vector<std::wstring> more) {
    lead.insert(lead.end(), more.begin(), more.end());
    return lead;
  };
  switch (p.code) {
    case sim::kGreetingCode:
      return {End::Fail,
              with({f == Fault::Short ? L"target sent : L A . ." : L"target sent : . . . ."}),
              {L"e - dll cannot setup connection with the target.", L"e - Connection failed."}};
    case 712:
      // The version sits in the low 12 bits: two bytes carry it; none leave 0.
      return {End::Pass, with({}), {}, f == Fault::Short ? "version in the bytes that came" : "goes on with version 0"};
    case 713:
      return {
          End::Fail,
          with({L"[ Device ] platform 0, revision 0.", L"[ File ] platform " + std::to_wstring(job.platform) + L"\n",
                L"e - platform number is different from the target."}),
          {L"e - Checking platform failed."}};
    default:  // GetParam: a cut record leaves zero partition sizes
      return {End::Fail,
              with({L"index: " + std::to_wstring(job.firstIndex) + L", file size: " + std::to_wstring(job.firstSize) +
                    L", partition size: 0"}),
              {L"e - file size is greater than partition size!!"}};
  }
}

}  // namespace

const char* FaultName(Fault f) {
  switch (f) {
    case Fault::Fail: return "status 0xFF";
    case Fault::WrongEcho: return "wrong echo";
    case Fault::Short: return "short answer";
    case Fault::Unplug: return "unplug";
    case Fault::Silence: return "silence";
  }
  return "?";
}

const Phase kPhases[kPhaseCount] = {
    {"greeting", sim::kGreetingCode, 0, Kind::Word, Setup::Plain},
    {"GetVersion 712", 712, 0, Kind::Word, Setup::Plain},
    {"GetPlatform 713", 713, 0, Kind::Word, Setup::Plain},
    {"GetParam 704", 704, 0, Kind::Word, Setup::Plain},
    {"SetParam 703", 703, 0, Kind::Reported, Setup::Plain},
    {"SetParam answer 1", sim::kSetParamAnswer1, 0, Kind::RecordAnswer, Setup::Plain},
    {"SetParam answer 2", sim::kSetParamAnswer2, 0, Kind::RecordAnswer, Setup::Plain},
    {"Ready 700", 700, 0, Kind::Fatal, Setup::Plain},
    {"first frame", 0, 1, Kind::FrameAnswer, Setup::Plain},
    {"middle frame", 0, 2, Kind::FrameAnswer, Setup::Plain},
    {"last frame", 0, 3, Kind::FrameAnswer, Setup::Plain},
    {"711", 711, 0, Kind::Fatal, Setup::Plain},
    {"write 503", 503, 0, Kind::Fatal, Setup::Plain},
    {"CSA clear 701", 701, 0, Kind::Reported, Setup::CsaClear},
    {"Format 702", 702, 0, Kind::Fatal, Setup::Format},
    {"Reset 707", 707, 0, Kind::Reported, Setup::Plain},
    {"finish 714", 714, 0, Kind::Reported, Setup::Finish},
};

const std::wstring kTimedOut = L"e - the phone did not answer within 300 seconds.";

Expectation Expect(const Phase& p, Fault f, const JobShape& job) {
  if (f == Fault::Unplug) return {End::Fail, {}, {}, "unplugged"};
  if (p.kind == Kind::Word) return ExpectWord(p, f, job);
  const int echo = p.kind == Kind::FrameAnswer ? 0 : (p.kind == Kind::RecordAnswer ? 703 : p.code);
  const End bad = p.kind == Kind::Fatal || p.kind == Kind::FrameAnswer ? End::Fail : End::Pass;
  switch (f) {
    case Fault::Fail: return {bad, {Failed(echo, kFailResult)}, {}};
    case Fault::WrongEcho:
      if (p.kind == Kind::FrameAnswer || p.kind == Kind::RecordAnswer) {
        return {End::Pass, {}, {}, "accepted by design: any echo"};
      }
      return {bad, {Respond(p.code, p.code + 1)}, {}};
    case Fault::Short:
      if (p.code == sim::kSetParamAnswer1) {  // the second answer then stays away
        return {bad, {Failed(echo, 0), kTimedOut, Failed(0, 0)}, {}};
      }
      return {bad, {Failed(echo, 0)}, {}};
    case Fault::Silence:
      if (p.code == sim::kSetParamAnswer1) return {bad, {kTimedOut, Failed(0, 0), kTimedOut, Failed(0, 0)}, {}};
      return {bad, {kTimedOut, Failed(0, 0)}, {}};
    case Fault::Unplug: break;
  }
  return {};
}

bool IsSlow(const Phase& p, Fault f) {
  return f == Fault::Silence || (f == Fault::Short && p.code == sim::kSetParamAnswer1);
}

sim::FaultPlan PlanFor(const Phase& p, Fault f) {
  sim::FaultPlan plan;
  plan.failResult = kFailResult;
  plan.failFrameResult = kFailResult;
  if (p.frame > 0) {
    switch (f) {
      case Fault::Fail: plan.failFrame = p.frame; break;
      case Fault::WrongEcho: plan.wrongEchoFrame = p.frame; break;
      case Fault::Short: plan.shortFrame = p.frame; break;
      case Fault::Unplug: plan.unplugAtFrame = p.frame; break;
      case Fault::Silence: plan.silentFrame = p.frame; break;
    }
    return plan;
  }
  const sim::CommandFault at{p.code, 1};
  switch (f) {
    case Fault::Fail: plan.fail = at; break;
    case Fault::WrongEcho: plan.wrongEcho = at; break;
    case Fault::Short: plan.shortAnswer = at; break;
    case Fault::Unplug: plan.unplug = at; break;
    case Fault::Silence: plan.silence = at; break;
  }
  return plan;
}

bool InOrder(const std::vector<std::wstring>& have, const std::vector<std::wstring>& want) {
  std::size_t at = 0;
  for (const auto& text : have) {
    if (at < want.size() && text == want[at]) ++at;
  }
  return at == want.size();
}

std::string Dump(const std::vector<std::wstring>& texts) {
  std::string out;
  for (const auto& t : texts) out += "  [" + platform::Narrow(t) + "]\n";
  return out;
}

std::string FailedEndProblem(const std::vector<std::wstring>& texts, const std::vector<std::wstring>& errors,
                             const std::vector<int>& states) {
  if (errors.empty() || errors.back() != L"e - usb is disconnected!!") return "last error:\n" + Dump(errors);
  if (texts.empty() || texts.back() != L"thread will be terminated.") return "last text:\n" + Dump(texts);
  if (std::find(states.begin(), states.end(), STATE_ERROR) == states.end()) return "no error state";
  return "";
}

}  // namespace tarn::test
