// SPDX-License-Identifier: Apache-2.0
// tarn-flash's command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pell_linux_np.h"

namespace tarn::cli {

// How long --wait N waits when it names no time: as long as a job's own
// port lookup may take.
constexpr int kDefaultWaitSeconds = 600;

struct FlashArgs {
  std::string pda, csc, phone;
  std::vector<int> ports;  // slot i runs the i-th port; empty: the phone ports of the map
  bool list = false;       // print the phone ports of the map instead of flashing
  int waitCount = 0;       // wait for this many phone ports in the map before the start
  int waitSeconds = kDefaultWaitSeconds;
  bool noBootUpdate = false;
  bool bootFormat = false;
  bool csaClear = false;
  bool noAutoReboot = false;
  bool phoneBootUpdate = false;
  bool noFactoryMode = false;
  std::string stratine = "all";       // all, ums, opt or csc
  std::optional<std::string> nation;  // index or name
  bool json = false;
  std::string report;                                // write the summary record to this file at the batch's end
  std::string logDir;                                // one log file per slot in this folder
  bool imageDigests = false;                         // the images' SHA-256 in the start record (reads them once more)
  std::string metricsFile;                           // node exporter textfile, replaced as the batch goes
  int answerTimeout = kDefaultAnswerTimeoutSeconds;  // seconds a job waits for a phone's answer
  // `tarn-flash inspect FILE...`: list the images instead of flashing.
  bool inspect = false;
  std::vector<std::string> inspectFiles;
};

// Exit statuses of tarn-flash.
constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;  // bad usage or a refused start
constexpr int kExitNoPhone = 3;
// The batch ran, but its --report file could not be written: whatever a
// script finds at that path is not this batch's.
constexpr int kExitReportLost = 4;
// A stop signal ends the batch with 128 + its number: 130 (SIGINT), 143 (SIGTERM), 129 (SIGHUP).

struct ParseOutcome {
  bool run = false;  // false: exit with `exitCode` (help or version was shown, or the arguments are wrong)
  int exitCode = kExitPassed;
};

// Parses argv; help and version go to `out`, argument errors to `err`.
ParseOutcome ParseFlashArgs(int argc, const char* const* argv, FlashArgs* args, std::string* out, std::string* err);

// A --port value: a COM number (-1 and -2 let the job take the first phone
// port of the map) or a device path, whose COM number the serial-port map
// gives. nullopt, with the reason in *err, when it is neither.
std::optional<int> ParsePort(const std::string& text, std::string* err);

// --wait's "N[,SECONDS]": N from 1 to kMostPhones, SECONDS a positive whole number.
bool ParseWait(const std::string& text, int* count, int* seconds);

// A nation given as an index 0..9, as its list entry ("Zudarida_SPAIN"), its
// long name or its code, in any case; nullopt when it names none.
std::optional<int> ParseNation(std::string_view text);

}  // namespace tarn::cli
