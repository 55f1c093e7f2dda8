// SPDX-License-Identifier: Apache-2.0
// The inside of a SimPhone: its pseudo-terminal and serving thread, the
// conversation with the job (faults applied) and what it recorded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>

#include "sim/keld_sim.h"
#include "sim/sim_pty.h"
#include "sim/sim_store.h"

namespace tarn::sim {

struct SimPhone::Impl {
  using Clock = std::chrono::steady_clock;

  explicit Impl(const PhoneConfig& c) : config(c), params(c.params), store(c.outputDir) {}

  // The serving thread: reads packets until stopped, replugs after a reboot.
  void Serve();
  void Prepare(std::size_t bytes) { PrepareRoom(piece, bytes); }
  // Creates the pseudo-terminal and registers it in the serial-port map, or
  // opens the given tty (the registrar publishes its host side).
  bool Plug();
  // Unregisters the port and closes the line, as pulling the cable does.
  void Unplug();

  const PhoneConfig config;
  ParamRecord params;
  PieceStore store;
  SimPty pty;
  std::thread thread;
  std::atomic<bool> stop{false};
  std::atomic<bool> unplugRequest{false};
  std::atomic<bool> interrupt{false};  // stop or unplug: ends a pending read

  mutable std::mutex lock;
  mutable std::condition_variable changed;
  std::vector<CommandRecord> commands;
  Counters counters;
  std::optional<ParamRecord> lastParam;
  std::map<int, int> occurrences;
  bool plugged = false;
  std::filesystem::path ttyPath;

  Received piece;             // frames received since the last Ready
  RunningDigest pieceDigest;  // of `piece`, followed frame by frame
  std::optional<Clock::time_point> replugAt;
  // Until a greeting: after power-up (a plug, a tty opened again) and after a
  // receive time-out ended the session.
  bool awaitingGreeting = true;
  std::string valueName;

 private:
  struct Answered {
    bool whole = false;  // all four bytes went out
    bool clean = false;  // whole, right echo and success
  };

  // Reads what must follow what was already received: after the configured
  // silence the phone drops it all (see LoseSession).
  bool Read(void* destination, std::size_t count);
  // Reads what the host sends once it has judged an answer: the wait for the
  // first byte is the host's own, the rest must follow as Read.
  bool ReadAfterAnswer(void* destination, std::size_t count);
  void LoseSession();
  void Note(const CommandRecord& record);
  template <typename F>
  void Count(F&& change);
  bool Hits(const CommandFault& fault, int code);
  bool Answer(int code, const std::uint8_t* bytes, std::size_t size);
  Answered Respond(int code, bool ok = true, std::uint8_t result = 0, int faultCode = 0);
  void AnswerWord(int code, std::uint32_t value);

  void Greet();
  void HuntGreeting();
  void ReceiveFrames(std::int32_t length);
  bool Commit(const std::uint8_t* packet, int code, std::int32_t argument, std::int32_t length);
  bool Mismatch();
  void SetParam();
  void Handle(const std::uint8_t* packet);
  void WaitUnplugged();
};

}  // namespace tarn::sim
