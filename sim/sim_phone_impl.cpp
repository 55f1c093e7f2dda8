// SPDX-License-Identifier: Apache-2.0
#include "sim/sim_phone_impl.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/devicemap.h"
#include "sim/sim_wire.h"

namespace tarn::sim {
namespace {

constexpr auto kIdleSlice = std::chrono::milliseconds(10);
constexpr int kDrainWaitMs = 2000;     // how long a rebooting phone lets the job read its last answer
constexpr DWORD kReopenPauseMs = 250;  // between tries to open a hung-up tty again

void EncodeParams(const ParamRecord& r, std::uint8_t out[kParamRecordSize]) {
  PutLe32(out, static_cast<std::uint32_t>(r.nation));
  for (int i = 0; i < 6; ++i) PutLe32(out + 4 + 4 * i, static_cast<std::uint32_t>(r.reserved[i]));
  for (int i = 0; i < 10; ++i) PutLe32(out + 28 + 4 * i, r.sizes[i]);
}

ParamRecord DecodeParams(const std::uint8_t in[kParamRecordSize]) {
  ParamRecord r;
  r.nation = static_cast<std::int32_t>(Le32(in));
  for (int i = 0; i < 6; ++i) r.reserved[i] = static_cast<std::int32_t>(Le32(in + 4 + 4 * i));
  for (int i = 0; i < 10; ++i) r.sizes[i] = Le32(in + 28 + 4 * i);
  return r;
}

}  // namespace

void SimPhone::Impl::Note(const CommandRecord& record) {
  std::lock_guard<std::mutex> guard(lock);
  commands.push_back(record);
  ++occurrences[record.code];
  if (record.code == kGreetingCode) {
    ++counters.greetings;
  } else {
    ++counters.commands;
  }
  changed.notify_all();
}

template <typename F>
void SimPhone::Impl::Count(F&& change) {
  std::lock_guard<std::mutex> guard(lock);
  change(counters);
  changed.notify_all();
}

// `code` may be a pseudo code; the SetParam answers count with SetParam.
bool SimPhone::Impl::Hits(const CommandFault& fault, int code) {
  if (fault.code == 0 || fault.code != code) return false;
  const int counted = (code == kSetParamAnswer1 || code == kSetParamAnswer2) ? kSetParam : code;
  std::lock_guard<std::mutex> guard(lock);
  return occurrences[counted] == fault.nth;
}

// Writes an answer with the unplug, silence and short-answer faults
// applied; false when the answer did not go out whole.
bool SimPhone::Impl::Answer(int code, const std::uint8_t* bytes, std::size_t size) {
  if (Hits(config.faults.unplug, code)) {
    Unplug();
    return false;
  }
  if (Hits(config.faults.silence, code)) return false;
  const bool cut = Hits(config.faults.shortAnswer, code);
  pty.WriteAll(bytes, cut ? std::min<std::size_t>(size, 2) : size);
  return !cut;
}

// `faultCode` selects the faults (the code itself or a pseudo code).
SimPhone::Impl::Answered SimPhone::Impl::Respond(int code, bool ok, std::uint8_t result, int faultCode) {
  if (faultCode == 0) faultCode = code;
  std::int16_t echo = static_cast<std::int16_t>(code);
  if (Hits(config.faults.fail, faultCode)) {
    ok = false;
    result = config.faults.failResult;
  }
  if (Hits(config.faults.wrongEcho, faultCode)) echo = static_cast<std::int16_t>(code + 1);
  const auto e = static_cast<std::uint16_t>(echo);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(e & 0xFF), static_cast<std::uint8_t>(e >> 8), result,
                                 ok ? kStatusOk : kStatusFailed};
  const bool whole = Answer(faultCode, bytes, sizeof(bytes));
  return {whole, whole && ok && echo == code};
}

void SimPhone::Impl::AnswerWord(int code, std::uint32_t value) {
  std::uint8_t bytes[4];
  PutLe32(bytes, value);
  Answer(code, bytes, sizeof(bytes));
}

// The conversation.

bool SimPhone::Impl::Read(void* destination, std::size_t count) {
  const auto end = pty.ReadWithin(destination, count, interrupt, config.receiveTimeoutMs);
  if (end == SimPty::ReadEnd::Silent) LoseSession();
  return end == SimPty::ReadEnd::Complete;
}

bool SimPhone::Impl::ReadAfterAnswer(void* destination, std::size_t count) {
  auto* bytes = static_cast<std::uint8_t*>(destination);
  return pty.ReadExact(bytes, 1, interrupt) && Read(bytes + 1, count - 1);
}

// A boot loader that stops hearing its host mid-packet or mid-piece forgets
// the half it has and answers nothing but a greeting, so that a host started
// anew finds it as after power-up.
void SimPhone::Impl::LoseSession() {
  piece.clear();
  pieceDigest.Reset();
  awaitingGreeting = true;
  Count([](Counters& c) { ++c.receiveTimeouts; });
}

// A greeting always starts afresh, whatever the phone thought was going on:
// answers a killed host never read are dropped before the word goes out.
void SimPhone::Impl::Greet() {
  Note({kGreetingCode, 0, 0, 0});
  store.NewSession();
  piece.clear();
  pieceDigest.Reset();
  awaitingGreeting = false;
  pty.DropUnread();
  std::uint8_t word[4] = {};
  std::memcpy(word, config.greeting.data(), std::min<std::size_t>(config.greeting.size(), 4));
  Answer(kGreetingCode, word, sizeof(word));
}

// A phone that lost its session takes bytes one at a time until the last
// seven are a greeting: what a dead host left in the cable (the rest of a
// frame, half a command) may end anywhere, and the next host's greeting must
// still be found after it.
void SimPhone::Impl::HuntGreeting() {
  constexpr std::string_view kGreeting = "MORAVEX";
  std::string window;
  std::uint8_t byte = 0;
  while (pty.ReadExact(&byte, 1, interrupt)) {
    window.push_back(static_cast<char>(byte));
    if (window.size() > kGreeting.size()) window.erase(0, 1);
    if (window == kGreeting) {
      Greet();
      return;
    }
  }
}

void SimPhone::Impl::ReceiveFrames(std::int32_t length) {
  const std::uint32_t frames = (static_cast<std::uint32_t>(std::max(length, 0)) + kFrameSize - 1) / kFrameSize;
  piece.clear();
  pieceDigest.Reset();
  // Growing the piece frame by frame would copy it over and over and stall
  // the phone on large pieces.
  piece.reserve(static_cast<std::size_t>(frames) * kFrameSize);
  for (std::uint32_t i = 0; i < frames; ++i) {
    int number = 0;
    Count([&](Counters& c) { number = c.frames + 1; });
    const std::size_t start = piece.size();
    piece.resize(start + kFrameSize);
    if (number == config.faults.unplugAtFrame) {
      Read(piece.data() + start, kFrameSize / 2);
      Unplug();
      return;
    }
    if (!Read(piece.data() + start, kFrameSize)) return;
    Count([](Counters& c) { ++c.frames; });
    if (number == config.faults.failFrame) {
      const std::uint8_t bytes[4] = {0, 0, config.faults.failFrameResult, kStatusFailed};
      pty.WriteAll(bytes, sizeof(bytes));
      return;
    }
    if (number == config.faults.silentFrame) return;
    if (number == config.faults.shortFrame) {
      const std::uint8_t bytes[2] = {0, 0};
      pty.WriteAll(bytes, sizeof(bytes));
      return;
    }
    const std::uint8_t echo = number == config.faults.wrongEchoFrame ? 1 : 0;
    const std::uint8_t bytes[4] = {echo, 0, 0, kStatusOk};
    pty.WriteAll(bytes, sizeof(bytes));
    // While the job prepares its next frame.
    pieceDigest.Follow(piece, kFrameSize);
  }
}

// Checks a committed piece and stores it; false refuses it.
bool SimPhone::Impl::Commit(const std::uint8_t* packet, int code, std::int32_t argument, std::int32_t length) {
  const std::uint8_t* text = packet + kDigestOffset;
  std::string file;
  std::size_t begin = 0;
  std::size_t end = 0;
  if (code == kFw) {
    const auto size = FwPieceLength(piece, text);
    if (!size) return Mismatch();
    file = FwFileName(packet + kFwNameOffset, kFwNameSize);
    end = *size;
  } else {
    if (length <= 0 || static_cast<std::size_t>(length) > piece.size()) return false;
    end = static_cast<std::size_t>(length);
    if (IsPlainForm(text)) {
      if (!HasInfoBlock(piece, end)) return Mismatch();
      begin = kInfoBlockSize;
    } else if (!pieceDigest.Matches(piece, end, text)) {
      return Mismatch();
    }
    file = code == kPhone ? "phone.bin" : PartitionFileName(code == kStratine ? 20 + argument : code - kWriteBase);
  }
  if (!store.Append(file, piece.data() + begin, end - begin)) return false;
  piece.clear();
  pieceDigest.Reset();
  Count([](Counters& c) { ++c.piecesStored; });
  return true;
}

bool SimPhone::Impl::Mismatch() {
  Count([](Counters& c) { ++c.digestMismatches; });
  return false;
}

void SimPhone::Impl::SetParam() {
  const bool answered = Respond(kSetParam).whole;
  std::uint8_t record[kParamRecordSize];
  // The host sends the record at once after the answer; without one it
  // sends it all the same, once its own answer time-out has passed.
  if (!(answered ? Read(record, sizeof(record)) : ReadAfterAnswer(record, sizeof(record)))) return;
  const ParamRecord written = DecodeParams(record);
  {
    std::lock_guard<std::mutex> guard(lock);
    lastParam = written;
  }
  // The partition sizes are the phone's own; it keeps nation and reserved words.
  params.nation = written.nation;
  std::copy(std::begin(written.reserved), std::end(written.reserved), std::begin(params.reserved));
  if (Respond(kSetParam, true, 0, kSetParamAnswer1).whole) Respond(kSetParam, true, 0, kSetParamAnswer2);
}

void SimPhone::Impl::Handle(const std::uint8_t* packet) {
  const auto code = static_cast<std::int32_t>(Le32(packet));
  const auto argument = static_cast<std::int32_t>(Le32(packet + 4));
  const auto length = static_cast<std::int32_t>(Le32(packet + 8));
  const auto flag = static_cast<std::int32_t>(Le32(packet + 12));
  Note({code, argument, length, flag});
  switch (code) {
    case kGetVersion: return AnswerWord(code, (config.loaderVersion & 0xFFF) | (config.buildDate << 12));
    case kGetPlatform:
      return AnswerWord(code, (static_cast<std::uint32_t>(static_cast<std::uint16_t>(config.platform)) << 16) |
                                  static_cast<std::uint16_t>(config.revision));
    case kGetParam: {
      std::uint8_t record[kParamRecordSize];
      EncodeParams(params, record);
      Answer(code, record, sizeof(record));
      return;
    }
    case kSetParam: return SetParam();
    case kReady:
      // A refused or unanswered Ready announces no frames.
      if (Respond(code).clean) ReceiveFrames(length);
      return;
    case kFormat:
      Respond(code);
      if (config.faults.rebootAfterFormatMs >= 0) {
        pty.WaitDrained(kDrainWaitMs);
        Unplug();
        replugAt = Clock::now() + std::chrono::milliseconds(config.faults.rebootAfterFormatMs);
      }
      return;
    case kCsaClear:
    case kReset:
    case kEndFrames:
    case kFinish: Respond(code); return;
    case kPhone:
    case kFw:
    case kStratine: Respond(code, Commit(packet, code, argument, length), kDigestMismatchResult); return;
    default:
      if (code >= kWriteBase && code < kPhone) {
        Respond(code, Commit(packet, code, argument, length));
      } else {
        Respond(code, false, kUnknownCommandResult);
      }
      return;
  }
}

// Plugging.

bool SimPhone::Impl::Plug() {
  if (!config.tty.empty()) {
    if (!pty.Open(config.tty)) return false;
  } else if (!pty.Create()) {
    return false;
  } else if (!tarn::platform::RegisterPort(valueName, config.comNumber, pty.SlavePath())) {
    pty.Close();
    return false;
  }
  // A phone just powered up takes nothing but a greeting, whatever the cable
  // still held from before.
  awaitingGreeting = true;
  std::lock_guard<std::mutex> guard(lock);
  plugged = true;
  ttyPath = pty.SlavePath();
  return true;
}

void SimPhone::Impl::Unplug() {
  if (config.tty.empty()) tarn::platform::UnregisterPort(valueName, config.comNumber);
  pty.Close();
  piece.clear();
  pieceDigest.Reset();
  std::lock_guard<std::mutex> guard(lock);
  plugged = false;
  ++counters.unplugs;
  changed.notify_all();
}

void SimPhone::Impl::WaitUnplugged() {
  while (!stop.load()) {
    if (replugAt && Clock::now() >= *replugAt) {
      replugAt.reset();
      if (Plug()) Count([](Counters& c) { ++c.replugs; });
      return;
    }
    if (pty.HungUp()) {
      Sleep(kReopenPauseMs);
      if (pty.Reopen()) {
        awaitingGreeting = true;
        return;
      }
      continue;
    }
    std::this_thread::sleep_for(kIdleSlice);
  }
}

void SimPhone::Impl::Serve() {
  while (!stop.load()) {
    if (unplugRequest.exchange(false) && pty.IsOpen()) Unplug();
    if (!stop.load()) interrupt = false;
    if (!pty.IsOpen()) {
      WaitUnplugged();
      continue;
    }
    if (awaitingGreeting) {
      HuntGreeting();
      continue;
    }
    std::uint8_t packet[kPacketSize];
    // Silence between commands is the job's right; once a packet has begun
    // it must arrive whole.
    if (!ReadAfterAnswer(packet, 4)) continue;
    if (std::memcmp(packet, "MORA", 4) == 0) {
      if (Read(packet + 4, 3) && std::memcmp(packet + 4, "VEX", 3) == 0) Greet();
      continue;
    }
    if (Read(packet + 4, kPacketSize - 4)) Handle(packet);
  }
}

}  // namespace tarn::sim
