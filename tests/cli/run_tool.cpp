// SPDX-License-Identifier: Apache-2.0
#include "tests/cli/run_tool.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarn::test {

namespace {

// Keeps the first `lines` lines of `out`; true when it had that many.
bool CutAfterLines(std::string& out, std::size_t lines) {
  std::size_t end = 0;
  for (std::size_t n = 0; n < lines; ++n, ++end) {
    end = out.find('\n', end);
    if (end == std::string::npos) return false;
  }
  out.resize(end);
  return true;
}

}  // namespace

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                const std::function<void(int pid)>& started, std::size_t outLines) {
  ToolRun run;
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned == 0) {
    if (started) started(pid);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
      if (poll(fds, 2, -1) < 0) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[4096];
        ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(got));
        }
        const bool enough = i == 0 && outLines != SIZE_MAX && CutAfterLines(run.out, outLines);
        if (enough) {
          close(outPipe[0]);  // the child's next write finds no reader
          outPipe[0] = -1;
        }
        if (got <= 0 || enough) {
          fds[i].fd = -1;
          --open;
        }
      }
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.ended = std::chrono::steady_clock::now();
  }
  if (outPipe[0] >= 0) close(outPipe[0]);
  close(errPipe[0]);
  return run;
}

}  // namespace tarn::test
