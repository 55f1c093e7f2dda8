// SPDX-License-Identifier: Apache-2.0
// tarn-multi-downloader: the operator window. Its own options (--help,
// --version) and what is wrong with the command line or the display are
// settled here, before the toolkit starts: the toolkit would open the window
// on any option and abort, pointing at the installation, without a display.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tarn/version.h"
#include "window/kelpa3_multi_app.h"

namespace {

constexpr const char* kUsage =
    "Usage: tarn-multi-downloader [--help] [--version] [-platform NAME] [-style NAME]\n"
    "Opens the operator window: eight slots that write firmware images into up to eight phones at once.\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "The toolkit's own options (-platform, -style, -display, -geometry, ...) are passed on to it.\n"
    "A display is needed: $DISPLAY (X11) or $WAYLAND_DISPLAY (Wayland); -platform offscreen runs without one.\n"
    "Exit status: 0 the window was closed, 1 no display, 2 bad usage.\n";

// The toolkit's options that take a value, then those that do not.
constexpr std::string_view kToolkitValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "name",          "title"};
constexpr std::string_view kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

enum class Action { Run, Help, Version, BadUsage };

struct CommandLine {
  Action action = Action::Run;
  std::string platform;       // -platform's value, empty when not given
  bool displayGiven = false;  // -display names the X server itself
  std::string problem;        // why the usage is bad
};

bool IsToolkitValueOption(std::string_view name) {
  for (std::string_view option : kToolkitValueOptions) {
    if (name == option) return true;
  }
  return false;
}

bool IsToolkitFlag(std::string_view name) {
  for (std::string_view flag : kToolkitFlags) {
    if (name == flag) return true;
  }
  return false;
}

// Reads one toolkit option at argv[i], which the toolkit takes with one dash
// or two and its value as the next argument (after "=" for the style
// options only); false when it is none.
bool TakeToolkitOption(int argc, char** argv, int& i, CommandLine& line) {
  std::string_view arg = argv[i];
  arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
  const std::size_t equals = arg.find('=');
  const std::string_view name = arg.substr(0, equals);
  if (IsToolkitFlag(arg)) return true;
  if (!IsToolkitValueOption(name) || (equals != std::string_view::npos && !name.starts_with("style"))) return false;
  std::string value;
  if (equals != std::string_view::npos) {
    value = std::string(arg.substr(equals + 1));
  } else if (i + 1 < argc) {
    value = argv[++i];
  } else {
    line.problem = "option '" + std::string(argv[i]) + "' needs a value";
    return true;
  }
  if (name == "platform") line.platform = value;
  if (name == "display") line.displayGiven = true;
  return true;
}

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc && line.problem.empty(); ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return CommandLine{Action::Help, "", false, ""};
    if (arg == "--version") return CommandLine{Action::Version, "", false, ""};
    if (arg.size() > 1 && arg[0] == '-' && TakeToolkitOption(argc, argv, i, line)) continue;
    line.problem = arg.starts_with("-") ? "unknown option '" + std::string(arg) + "'"
                                        : "unexpected argument '" + std::string(arg) + "': the window takes none";
  }
  if (!line.problem.empty()) line.action = Action::BadUsage;
  return line;
}

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The X11 and Wayland platforms need a display server; the others (offscreen,
// minimal, linuxfb, ...) draw without one. Without a choice the toolkit picks
// one of the first two.
bool NeedsDisplayServer(std::string platform) {
  if (platform.empty() && IsSet("QT_QPA_PLATFORM")) platform = std::getenv("QT_QPA_PLATFORM");
  if (platform.empty()) return true;
  // A list ("wayland;xcb") is tried in order: the first that needs no server will do.
  std::size_t start = 0;
  while (start <= platform.size()) {
    const std::size_t end = std::min(platform.find(';', start), platform.size());
    const std::string name = platform.substr(start, end - start);
    if (!name.starts_with("xcb") && !name.starts_with("wayland")) return false;
    start = end + 1;
  }
  return true;
}

bool HasDisplay(const CommandLine& line) {
  if (!NeedsDisplayServer(line.platform)) return true;
  return line.displayGiven || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = ParseCommandLine(argc, argv);
  switch (line.action) {
    case Action::Help: std::fputs(kUsage, stdout); return 0;
    case Action::Version: std::puts("tarn-multi-downloader " TARN_VERSION); return 0;
    case Action::BadUsage:
      std::fprintf(stderr, "e - tarn-multi-downloader: %s (see --help)\n", line.problem.c_str());
      return 2;
    case Action::Run: break;
  }
  if (!HasDisplay(line)) {
    std::fputs(
        "e - no display: neither DISPLAY nor WAYLAND_DISPLAY is set; start the window in a desktop session, "
        "or on the offscreen platform for tests (QT_QPA_PLATFORM=offscreen or -platform offscreen)\n",
        stderr);
    return 1;
  }
  CKelpa3MultiApp app(argc, argv);
  return app.InitInstance();
}
