// SPDX-License-Identifier: Apache-2.0
// keld-sim: a simulated phone boot loader at the far end of a pseudo-terminal.
// Deliberately apart from link/ and wire/ (platform and support only): its own protocol copy checks the host's bytes.
//
// A SimPhone creates a pseudo-terminal, publishes it in the serial-port map
// (tarn::platform::RegisterPort, under $TARN_DEVICEMAP) as
// SERIALCOMM/qxcdmdm<index> (or qxcemdm<index>) = COM<comNumber>, and answers
// on a thread of its own everything a download job sends: the greeting, the
// version and platform queries, the parameter record, Ready, data frames,
// 711, the write commands (checking each piece's MD5 text), 701, 702, 707, 714.
// Like a boot loader with a receive time-out, it drops a half-received
// packet, frame or piece after `receiveTimeoutMs` of silence and then waits
// for a new greeting; a greeting is always answered as a fresh start, so a
// host killed at any point can be followed by a new one.
//
// Given `tty` (a USB gadget's /dev/ttyGS0, say), the phone serves that
// existing terminal instead, in raw mode, and registers nothing: the map
// entry of the host's side is the port registrar's. When the tty hangs up
// the phone opens it again until it works, as a re-bound gadget keeps it.
//
// What was written is stored in `outputDir` (created when missing):
//   part<NN>.bin    partition code NN (500 + NN; 620 with argument a is 20 + a)
//   phone.bin       the phone binary (600)
//   fw-<name>.bin   an FW member (610; the name as the command carries it)
// Each file is started anew at the first write after a greeting and then
// grows chunk by chunk, so it compares equal to the image member it came from.
// A chunk committed in the plain form (no MD5 text) must begin with a 72-byte
// "OFNI" info block, which is checked and not stored.
//
// Typical test use:
//   tarn::sim::PhoneConfig config;   // "KELD", COM1, qxcdmdm0
//   config.outputDir = dir / "phone";
//   tarn::sim::SimPhone phone(config);
//   ASSERT_TRUE(phone.Start());
//   ... run a job on port 1 ...
//   phone.Commands();                // every command received, in order
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarn::sim {

// Pseudo command code that selects the greeting in a CommandFault.
constexpr int kGreetingCode = -1;
// Pseudo command codes for the two answers that follow the parameter record
// of the n-th SetParam (a cut or missing first answer silences the second).
constexpr int kSetParamAnswer1 = -2;
constexpr int kSetParamAnswer2 = -3;
// Result byte of the answer that refuses a piece whose MD5 text does not match.
constexpr std::uint8_t kDigestMismatchResult = 0;
// Result byte of the answer to a command the phone does not know.
constexpr std::uint8_t kUnknownCommandResult = 0xEE;
constexpr std::uint32_t kFrameSize = 131072;
constexpr std::uint32_t kParamRecordSize = 68;

enum class PortKind { Dm, Em };  // qxcdmdm<n> or qxcemdm<n>

constexpr std::uint32_t kDefaultPartitionSize = 512u << 20;

// The phone's parameter record (68 bytes on the wire). The partition sizes
// are the phone's own: SetParam changes the nation and reserved words only.
struct ParamRecord {
  std::int32_t nation = 0;
  std::int32_t reserved[6] = {};
  std::uint32_t sizes[10] = {kDefaultPartitionSize, kDefaultPartitionSize, kDefaultPartitionSize, kDefaultPartitionSize,
                             kDefaultPartitionSize, kDefaultPartitionSize, kDefaultPartitionSize, kDefaultPartitionSize,
                             kDefaultPartitionSize, kDefaultPartitionSize};
};

// The n-th (1-based) occurrence of command `code`; code 0 selects nothing.
struct CommandFault {
  int code = 0;
  int nth = 1;
};

struct FaultPlan {
  CommandFault fail;                 // answered with status 0xFF and failResult
  std::uint8_t failResult = 0;       // the result byte of that answer
  CommandFault wrongEcho;            // answered with echo code + 1
  CommandFault shortAnswer;          // 2 of the 4 answer bytes, then silence
  CommandFault silence;              // no answer at all
  int failFrame = 0;                 // n-th data frame (counted from Start) answered 0xFF
  std::uint8_t failFrameResult = 0;  // the result byte of that frame's answer
  int unplugAtFrame = 0;             // n-th data frame: unplug half way through it
  CommandFault unplug;               // unplugged when the command (or greeting) arrives, before any answer
  int wrongEchoFrame = 0;            // n-th data frame answered with echo 1 instead of 0
  int shortFrame = 0;                // n-th data frame: 2 of the 4 answer bytes, then silence
  int silentFrame = 0;               // n-th data frame: no answer
  int rebootAfterFormatMs = -1;      // >= 0: after answering Format, unplug and come back after this many ms
};

struct PhoneConfig {
  PortKind kind = PortKind::Dm;
  int index = 0;
  int comNumber = 1;
  std::string greeting = "KELD";    // 4 characters: PELL, KELD, TARN, LAST or anything else
  std::uint32_t loaderVersion = 7;  // answered to GetVersion (low 12 bits)
  std::uint32_t buildDate = 0;      // answered to GetVersion (upper 20 bits)
  std::int16_t platform = 0;
  std::int16_t revision = 0;
  ParamRecord params;
  std::filesystem::path outputDir;  // empty: nothing is stored
  std::filesystem::path tty;        // empty: a pseudo-terminal of its own
  // Silence (real milliseconds) after which a half-received packet, frame
  // or announced piece is dropped and only a greeting is answered; 0 never.
  int receiveTimeoutMs = 1000;
  // Memory for this many received bytes is touched before the phone answers,
  // as a real phone's flash is there before the host writes; 0 leaves it to
  // the first piece. A benchmark sets it so that the kernel's first touch of
  // fresh pages under the frames is not what it measures.
  std::size_t preparedBytes = 0;
  FaultPlan faults;
};

struct CommandRecord {
  std::int32_t code = 0;  // kGreetingCode for the greeting
  std::int32_t argument = 0;
  std::int32_t length = 0;
  std::int32_t flag = 0;
};

struct Counters {
  int greetings = 0;
  int commands = 0;
  int frames = 0;
  int piecesStored = 0;
  int digestMismatches = 0;
  int unplugs = 0;
  int replugs = 0;
  int receiveTimeouts = 0;
};

class SimPhone {
 public:
  explicit SimPhone(PhoneConfig config);
  ~SimPhone();  // Stop()
  SimPhone(const SimPhone&) = delete;
  SimPhone& operator=(const SimPhone&) = delete;

  // Creates the pseudo-terminal, registers it and starts answering (or
  // opens the given tty); false when it cannot.
  bool Start();
  // Why the given tty could not be opened (an errno value; 0 if it was).
  int StartError() const { return startError_; }
  // Stops answering, unregisters the port and closes the pseudo-terminal.
  void Stop();
  // Unregisters the port and closes the master side now, as pulling the cable does.
  void Unplug();

  std::string ValueName() const;          // e.g. "qxcdmdm0"
  std::filesystem::path TtyPath() const;  // the job's side, e.g. /dev/pts/4
  const PhoneConfig& Config() const { return config_; }

  std::vector<CommandRecord> Commands() const;
  Counters Stats() const;
  // The record the host last wrote with SetParam (none before the first).
  std::optional<ParamRecord> LastParamWritten() const;
  // Waits until a command with `code` was received; false after `timeout`.
  bool WaitForCommand(int code, std::chrono::milliseconds timeout) const;

  struct Impl;

 private:
  PhoneConfig config_;
  int startError_ = 0;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarn::sim
