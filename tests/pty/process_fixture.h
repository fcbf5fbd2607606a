// Programs as real processes: spawning with pipes and an environment,
// reading their output, waiting for their end.
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
#include <vector>

extern char** environ;

namespace kivo::testing {

struct Process {
  pid_t pid = -1;
  int stdinFd = -1;   // write end of the child's standard input
  int stdoutFd = -1;  // read end of the child's standard output
  int stderrFd = -1;
};

inline std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    if (!overrides.count(name)) env.push_back(entry);
  }
  for (const auto& [name, value] : overrides) env.push_back(name + "=" + value);
  return env;
}

inline Process Spawn(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env) {
  int in[2], out[2], err[2];
  EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
  EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
  EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = Environment(env);
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  Process p;
  EXPECT_EQ(::posix_spawn(&p.pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  p.stdinFd = in[1];
  p.stdoutFd = out[0];
  p.stderrFd = err[0];
  return p;
}

inline std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

inline std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

// Waits up to `seconds` for the process to end; -1 when it is still running.
inline int WaitExit(const Process& p, double seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    pid_t done = ::waitpid(p.pid, &status, WNOHANG);
    if (done == p.pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

inline void Stop(Process& p) {
  if (p.stdinFd >= 0) ::close(p.stdinFd);
  p.stdinFd = -1;
  if (WaitExit(p, 2) < 0) {
    ::kill(p.pid, SIGKILL);
    WaitExit(p, 5);
  }
  ::close(p.stdoutFd);
  ::close(p.stderrFd);
}

struct Result {
  int exitCode;
  std::string out, err;
};

inline Result RunProgram(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, double seconds = 30) {
  Process p = Spawn(args, env);
  ::close(p.stdinFd);
  Result r;
  r.out = ReadAll(p.stdoutFd);
  r.err = ReadAll(p.stderrFd);
  r.exitCode = WaitExit(p, seconds);
  ::close(p.stdoutFd);
  ::close(p.stderrFd);
  return r;
}

}  // namespace kivo::testing
