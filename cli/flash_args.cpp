// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_args.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <filesystem>

#include "engine/tables.h"
#include "platform/devicemap.h"
#include "platform/port_names.h"
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

// " FR (France), ..." for the nation refusal: the codes and long names ParseNation takes.
std::string NationNames() {
  std::string names;
  for (int i = 0; i < kNationCount; ++i) {
    names += std::string(i == 0 ? " " : ", ") + platform::Narrow(NationCode(i)) + " (" +
             platform::Narrow(NationLongName(i)) + ")";
  }
  return names;
}

constexpr const char* kDescription =
    "Flashes the given images into every attached phone at once, as the window's START does.\n"
    "Exit status: 0 every job passed, 1 a job failed, 2 bad usage or a refused start, 3 no phone found,\n"
    "4 the --report file could not be written at the end (whatever the jobs did),\n"
    "130, 143 or 129 stopped by SIGINT, SIGTERM or SIGHUP (a first signal stops every job at its next\n"
    "command boundary, leaving the phones ready for a new run; a second, or 5 s without reaching one,\n"
    "stops them at once).\n"
    "tarn-flash inspect FILE... lists the images without a phone (see inspect --help).";

// The whole of `text` as a decimal number.
std::optional<int> WholeNumber(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

// Checks the --port list as a whole: at most kMostPhones, each COM number once.
bool PortsAreDistinct(const std::vector<int>& ports, std::string* err) {
  if (ports.size() > static_cast<std::size_t>(platform::kMostPhones)) {
    *err = "tarn-flash: at most " + std::to_string(platform::kMostPhones) + " --port\n";
    return false;
  }
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (ports[i] == ports[j] && ports[i] > 0) {
        *err = "tarn-flash: port " + std::to_string(ports[i]) + " given twice\n";
        return false;
      }
    }
  }
  return true;
}

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

std::optional<int> ParsePort(const std::string& text, std::string* err) {
  if (text.find('/') != std::string::npos) {
    if (std::optional<int> com = platform::ComPortOfDevice(text)) return com;
    std::error_code ec;
    const std::string why = std::filesystem::exists(text, ec)
                                ? " is not a port of the serial-port map " + platform::DeviceMapRoot().string()
                                : " does not exist";
    *err = "tarn-flash: e - " + text + why + "\n";
    return std::nullopt;
  }
  const std::optional<int> number = WholeNumber(text);
  if (!number || *number < -2 || *number > platform::kHighestComNumber || *number == 0) {
    *err = "tarn-flash: --port " + text + ": give a COM number from 1 to 255, -1, -2 or a device path\n";
    return std::nullopt;
  }
  return number;
}

bool ParseWait(const std::string& text, int* count, int* seconds) {
  const std::size_t comma = text.find(',');
  const std::optional<int> n = WholeNumber(std::string_view(text).substr(0, comma));
  if (!n || *n < 1 || *n > platform::kMostPhones) return false;
  int s = kDefaultWaitSeconds;
  if (comma != std::string::npos) {
    const std::optional<int> given = WholeNumber(std::string_view(text).substr(comma + 1));
    if (!given || *given < 1) return false;
    s = *given;
  }
  *count = *n;
  *seconds = s;
  return true;
}

ParseOutcome ParseFlashArgs(int argc, const char* const* argv, FlashArgs* args, std::string* out, std::string* err) {
  CLI::App app(kDescription, "tarn-flash");
  app.add_option("--pda", args->pda, "PDA archive (tar; file names and members: IMAGES in tarn-flash(1))");
  app.add_option("--csc", args->csc, "CSC archive (tar)");
  app.add_option("--phone", args->phone, "phone binary");
  std::vector<std::string> portTexts;
  app.add_option("--port", portTexts,
                 "a phone's COM number or device path (/dev/ttyACM0, /dev/serial/by-path/...); repeat for up to " +
                     std::to_string(platform::kMostPhones) +
                     " phones, slot i runs the i-th; -1 or -2: the job takes the first phone port of the map")
      ->type_name("N|PATH");
  app.add_flag("--list", args->list,
               "list the phone ports of the map (COM, tty, USB path, vendor:product, whether it opens); "
               "exit 3 when there is none");
  std::string wait;
  app.add_option("--wait", wait,
                 "wait until N phone ports are in the map, then flash; exit 3 after SECONDS (default 600)")
      ->type_name("N[,SECONDS]");
  app.add_flag("--no-boot-update", args->noBootUpdate, "skip BOOT and SBL members");
  app.add_flag("--boot-format", args->bootFormat, "format the boot blocks, then flash phones as they re-attach");
  app.add_flag("--csa-clear", args->csaClear, "clear the CSA area after the parameters are written");
  app.add_flag("--no-auto-reboot", args->noAutoReboot, "do not reset the phone at the end");
  app.add_flag("--phone-boot-update", args->phoneBootUpdate, "update the phone binary's boot");
  app.add_flag("--no-factory-mode", args->noFactoryMode, "do not wait for the phone's completion");
  app.add_option("--stratine", args->stratine, "Stratine parts to write")
      ->check(CLI::IsMember({"all", "ums", "opt", "csc"}, CLI::ignore_case));
  app.add_option("--nation", args->nation, "nation index 0..9 or name (default: from the CSC archive)");
  app.add_flag("--json", args->json,
               "JSON Lines on standard output instead of text (schema 1: " TARN_DOC_DIR "/tarn-flash-json-v1.md)");
  app.add_option("--report", args->report,
                 "write the batch's summary record (JSON, as the last --json line) to FILE at the end")
      ->type_name("FILE");
  app.add_option("--log-dir", args->logDir, "write one log file per slot into DIR (made when missing)")
      ->type_name("DIR");
  app.add_flag("--image-digests", args->imageDigests,
               "work out each image's SHA-256 before the first phone and put it in the start record "
               "(reads every image once more)");
  app.add_option("--metrics-file", args->metricsFile,
                 "replace PATH, in the node exporter textfile format, after every phone's result and at batch "
                 "start and end")
      ->type_name("PATH");
  app.add_option("--answer-timeout", args->answerTimeout,
                 "seconds to wait for a phone's answer (default " + std::to_string(kDefaultAnswerTimeoutSeconds) + ")")
      ->check(CLI::Range(1, kMaxAnswerTimeoutSeconds));
  app.set_version_flag("--version", "tarn-flash " TARN_VERSION, "print the version and exit");
  CLI::App* inspect = app.add_subcommand(
      "inspect",
      "list what each image holds and what START would send of it (no phone needed); exit 2 on what "
      "START would refuse");
  inspect->add_option("files", args->inspectFiles, "images: PDA or CSC archives, phone binaries");
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
  if (args->inspect && args->inspectFiles.empty()) {
    *err = "tarn-flash: e - inspect needs at least one image: tarn-flash inspect PDA.tar [CSC.tar] [PHONE.bin]\n";
    return {false, kExitRefused};
  }
  // An empty PATH would be taken for "no metrics file" and the run would go
  // on without the metrics its caller asked for.
  if (app.count("--metrics-file") > 0 && args->metricsFile.empty()) {
    *err = "tarn-flash: e - --metrics-file needs a file path, not an empty one\n";
    return {false, kExitRefused};
  }
  for (auto& c : args->stratine) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  for (const auto& text : portTexts) {
    const std::optional<int> port = ParsePort(text, err);
    if (!port) return {false, kExitRefused};
    args->ports.push_back(*port);
  }
  if (!PortsAreDistinct(args->ports, err)) return {false, kExitRefused};
  if (!wait.empty() && !ParseWait(wait, &args->waitCount, &args->waitSeconds)) {
    *err = "tarn-flash: --wait " + wait + ": give N[,SECONDS], N from 1 to " + std::to_string(platform::kMostPhones) +
           "\n";
    return {false, kExitRefused};
  }
  if (args->nation && !ParseNation(*args->nation)) {
    *err = "tarn-flash: unknown nation " + *args->nation + "; give 0 to 9 or one of" + NationNames() + "\n";
    return {false, kExitRefused};
  }
  return {true, kExitPassed};
}

}  // namespace tarn::cli
