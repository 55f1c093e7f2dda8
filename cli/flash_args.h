// SPDX-License-Identifier: Apache-2.0
// tarn-flash's command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::cli {

struct FlashArgs {
  std::string pda, csc, phone;
  std::vector<int> ports;  // slot i runs the i-th port; empty: the phone ports of the map
  bool noBootUpdate = false;
  bool bootFormat = false;
  bool csaClear = false;
  bool noAutoReboot = false;
  bool phoneBootUpdate = false;
  bool noFactoryMode = false;
  std::string stratine = "all";       // all, ums, opt or csc
  std::optional<std::string> nation;  // index or name
  bool json = false;
  // `tarn-flash inspect FILE...`: list the images instead of flashing.
  bool inspect = false;
  std::vector<std::string> inspectFiles;
};

// Exit statuses of tarn-flash.
constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

struct ParseOutcome {
  bool run = false;  // false: exit with `exitCode` (help or version was shown, or the arguments are wrong)
  int exitCode = kExitPassed;
};

// Parses argv; help and version go to `out`, argument errors to `err`.
ParseOutcome ParseFlashArgs(int argc, const char* const* argv, FlashArgs* args, std::string* out, std::string* err);

// A nation given as an index 0..9, as its list entry ("Zudarida_SPAIN"), its
// long name or its code, in any case; nullopt when it names none.
std::optional<int> ParseNation(std::string_view text);

}  // namespace tarn::cli
