// SPDX-License-Identifier: Apache-2.0
// The udev registrar run as udev runs it, on the test's own serial-port map,
// station file and port folder.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/devicemap.h"
#include "tests/testsupport/temp_dir.h"

namespace tarn::test {

namespace fs = std::filesystem;
using platform::QuerySerialComm;
using platform::ReadSerialComm;

inline std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Registrar : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TARN_DEVICEMAP", (dir_.Path() / "map").c_str(), 1); }
  void TearDown() override { ::unsetenv("TARN_DEVICEMAP"); }

  // udev's variables and the test's own map, station file and port folder;
  // never the machine's.
  std::vector<std::string> Environment(const std::string& action, const std::string& devName,
                                       const std::string& idPath) const {
    std::vector<std::string> env = {"ACTION=" + action,
                                    "DEVNAME=" + devName,
                                    "SUBSYSTEM=tty",
                                    "TARN_DEVICEMAP=" + (dir_.Path() / "map").string(),
                                    "TARN_STATION_FILE=" + station().string(),
                                    "TARN_SERIAL_BY_PATH=" + byPath().string()};
    if (!idPath.empty()) env.push_back("ID_PATH=" + idPath);
    return env;
  }

  // Starts the registrar; `actions` may wire its standard streams.
  pid_t Spawn(const std::vector<std::string>& args, std::vector<std::string> env,
              const posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore = {TARN_REGISTRAR_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
  }

  static int ExitCode(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Exit code of the registrar run with udev's variables.
  int Run(const std::string& action, const std::string& devName, const std::string& idPath = "") {
    return ExitCode(Spawn({}, Environment(action, devName, idPath)));
  }

  // Like Run, with what the registrar logged; a registrar still running
  // after 30 s is killed (exit code -1), so a hang fails the test.
  int RunLogged(const std::string& action, const std::string& devName, std::string& log) {
    int err[2];
    if (::pipe(err) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    const pid_t pid = Spawn({}, Environment(action, devName, ""), &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    pollfd fd{err[0], POLLIN, 0};
    char buffer[512];
    ssize_t got = 1;
    while (got > 0 && ::poll(&fd, 1, 30000) > 0 && (got = ::read(err[0], buffer, sizeof buffer)) > 0) {
      log.append(buffer, static_cast<std::size_t>(got));
    }
    if (got > 0 && pid > 0) ::kill(pid, SIGKILL);
    ::close(err[0]);
    return ExitCode(pid);
  }

  std::optional<std::string> Entry(const std::string& name) { return QuerySerialComm(ReadSerialComm(), name); }
  fs::path station() const { return dir_.Path() / "station.conf"; }
  fs::path byPath() const { return dir_.Path() / "by-path"; }

  tarn::test::TempDir dir_;
};

}  // namespace tarn::test
