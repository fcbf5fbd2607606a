// Programs as real processes: spawned with pipes and an environment of their
// own, their output read, their end awaited.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "util/scratch.h"

extern char** environ;

namespace kivo::testing {

struct Process {
  pid_t pid = -1;
  int stdinFd = -1, stdoutFd = -1, stderrFd = -1;  // our ends of the child's pipes
  void CloseAll() {
    for (int* fd : {&stdinFd, &stdoutFd, &stderrFd}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }
};

// The environment of this process with `env` put over it.
inline Process Spawn(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env) {
  int pipes[3][2];
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(::pipe2(pipes[i], O_CLOEXEC), 0);
    posix_spawn_file_actions_adddup2(&actions, pipes[i][i == 0 ? 0 : 1], i);
  }
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    if (!env.count(entry.substr(0, entry.find('=')))) envStrings.push_back(entry);
  }
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (auto& e : envStrings) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  Process p;
  EXPECT_EQ(::posix_spawn(&p.pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 3; ++i) ::close(pipes[i][i == 0 ? 0 : 1]);
  p.stdinFd = pipes[0][1];
  p.stdoutFd = pipes[1][0];
  p.stderrFd = pipes[2][0];
  return p;
}

inline std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

inline std::string ReadLine(int fd) {
  std::string line;
  for (char c; ::read(fd, &c, 1) == 1 && c != '\n';) line.push_back(c);
  return line;
}

// Waits up to `seconds` for the process to end: its exit code, 128 + the
// signal that ended it, or -1 when it is still running.
inline int WaitExit(const Process& p, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (::waitpid(p.pid, &status, WNOHANG) == p.pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

// Closes standard input and waits for the end, killing a process that stays.
inline void Stop(Process& p) {
  ::close(std::exchange(p.stdinFd, -1));
  if (WaitExit(p, 2) < 0 && ::kill(p.pid, SIGKILL) == 0) WaitExit(p, 5);
  p.CloseAll();
}

struct Result {
  int exitCode;
  std::string out, err;
};

inline Result RunProgram(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, double seconds = 30) {
  Process p = Spawn(args, env);
  ::close(std::exchange(p.stdinFd, -1));
  Result r{-1, ReadAll(p.stdoutFd), ReadAll(p.stderrFd)};
  r.exitCode = WaitExit(p, seconds);
  p.CloseAll();
  return r;
}

// The programs run in a scratch folder of their own: runtime, configuration,
// data and home.
class ProgramTest : public ::testing::Test {
 protected:
  ScratchDir scratch;
  std::map<std::string, std::string> env{
      {"XDG_RUNTIME_DIR", scratch.Sub("run")}, {"XDG_CONFIG_HOME", scratch.Sub("config")},
      {"XDG_DATA_HOME", scratch.Sub("data")},  {"HOME", scratch.Sub("home")},
      {"QT_QPA_PLATFORM", "offscreen"},
  };
  std::string bin = KIVO_BIN_DIR;
  std::string cli = bin + "kivo-cli";

  Result Cli(std::vector<std::string> args, double seconds = 30) {
    args.insert(args.begin(), cli);
    return RunProgram(args, env, seconds);
  }
};

}  // namespace kivo::testing
