// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_args.h"

#include <CLI/CLI.hpp>

#include <cctype>

#include "engine/tables.h"
#include "platform/text.h"
#include "tarn/version.h"

namespace tarn::cli {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (platform::AsciiUpper(a[i]) != platform::AsciiUpper(b[i])) return false;
  }
  return true;
}

// The window's nation list shows "Zudarida" and "Zudarida_<LONG NAME>".
std::string ListEntry(int index) {
  std::string entry = "Zudarida";
  if (index > 0) entry += "_" + platform::Narrow(NationLongName(index));
  return entry;
}

constexpr const char* kDescription =
    "Flashes the given images into every attached phone at once, as the window's START does.\n"
    "Exit status: 0 every job passed, 1 a job failed, 2 the start was refused.\n"
    "tarn-flash inspect FILE... lists the images without a phone (see inspect --help).";

}  // namespace

std::optional<int> ParseNation(std::string_view text) {
  if (!text.empty() && text.size() <= 2 && std::isdigit(static_cast<unsigned char>(text[0])) &&
      (text.size() == 1 || std::isdigit(static_cast<unsigned char>(text[1])))) {
    int index = std::stoi(std::string(text));
    if (index < kNationCount) return index;
    return std::nullopt;
  }
  for (int i = 0; i < kNationCount; ++i) {
    if (EqualNoCase(text, ListEntry(i)) || EqualNoCase(text, platform::Narrow(NationLongName(i))) ||
        EqualNoCase(text, platform::Narrow(NationCode(i)))) {
      return i;
    }
  }
  return std::nullopt;
}

ParseOutcome ParseFlashArgs(int argc, const char* const* argv, FlashArgs* args, std::string* out, std::string* err) {
  CLI::App app(kDescription, "tarn-flash");
  app.add_option("--pda", args->pda, "PDA archive (tar)");
  app.add_option("--csc", args->csc, "CSC archive (tar)");
  app.add_option("--phone", args->phone, "phone binary");
  app.add_option("--port", args->ports, "COM number of a phone; repeat for more (slot i = i-th port)")
      ->check(CLI::Range(-2, 255));
  app.add_flag("--no-boot-update", args->noBootUpdate, "skip BOOT and SBL members");
  app.add_flag("--boot-format", args->bootFormat, "format the boot blocks, then flash phones as they re-attach");
  app.add_flag("--csa-clear", args->csaClear, "clear the CSA area after the parameters are written");
  app.add_flag("--no-auto-reboot", args->noAutoReboot, "do not reset the phone at the end");
  app.add_flag("--phone-boot-update", args->phoneBootUpdate, "update the phone binary's boot");
  app.add_flag("--no-factory-mode", args->noFactoryMode, "do not wait for the phone's completion");
  app.add_option("--stratine", args->stratine, "Stratine parts to write")
      ->check(CLI::IsMember({"all", "ums", "opt", "csc"}, CLI::ignore_case));
  app.add_option("--nation", args->nation, "nation index 0..9 or name (default: from the CSC archive)");
  app.add_flag("--json", args->json, "JSON Lines on standard output instead of text");
  app.set_version_flag("--version", "tarn-flash " TARN_VERSION, "print the version and exit");
  CLI::App* inspect = app.add_subcommand(
      "inspect",
      "list what each image holds and what START would send of it (no phone needed); exit 2 on what "
      "START would refuse");
  inspect->add_option("files", args->inspectFiles, "images: PDA or CSC archives, phone binaries")->required();
  inspect->add_flag("--json", args->json, "one JSON object on standard output instead of text");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *out = inspect->parsed() ? inspect->help() : app.help();
    return {false, kExitPassed};
  } catch (const CLI::CallForVersion& version) {
    *out = std::string(version.what()) + "\n";
    return {false, kExitPassed};
  } catch (const CLI::ParseError& e) {
    *err = std::string("tarn-flash: ") + e.what() + "\n";
    return {false, kExitRefused};
  }
  args->inspect = inspect->parsed();
  for (auto& c : args->stratine) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  if (args->ports.size() > 8) {
    *err = "tarn-flash: at most eight --port\n";
    return {false, kExitRefused};
  }
  for (std::size_t i = 0; i < args->ports.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (args->ports[i] == args->ports[j] && args->ports[i] > 0) {
        *err = "tarn-flash: port " + std::to_string(args->ports[i]) + " given twice\n";
        return {false, kExitRefused};
      }
    }
    if (args->ports[i] == 0) {
      *err = "tarn-flash: there is no port 0\n";
      return {false, kExitRefused};
    }
  }
  if (args->nation && !ParseNation(*args->nation)) {
    *err = "tarn-flash: unknown nation " + *args->nation + "\n";
    return {false, kExitRefused};
  }
  return {true, kExitPassed};
}

}  // namespace tarn::cli
