// The programs as real processes: exit codes, instance slots.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/fake_platform.h"

extern char** environ;

namespace kivo {
namespace {

using testing::ScratchDir;

struct Process {
  pid_t pid = -1;
  int stdinFd = -1;   // write end of the child's standard input
  int stdoutFd = -1;  // read end of the child's standard output
  int stderrFd = -1;
};

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    if (!overrides.count(name)) env.push_back(entry);
  }
  for (const auto& [name, value] : overrides) env.push_back(name + "=" + value);
  return env;
}

Process Spawn(const std::vector<std::string>& args,
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

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

// Waits up to `seconds` for the process to end; -1 when it is still running.
int WaitExit(const Process& p, double seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    pid_t done = ::waitpid(p.pid, &status, WNOHANG);
    if (done == p.pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

void Stop(Process& p) {
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

Result RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
           double seconds = 30) {
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

class ProcessTest : public ::testing::Test {
 protected:
  ScratchDir scratch;
  std::map<std::string, std::string> env{
      {"XDG_RUNTIME_DIR", scratch.Sub("run")},
      {"XDG_CONFIG_HOME", scratch.Sub("config")},
      {"XDG_DATA_HOME", scratch.Sub("data")},
      {"HOME", scratch.Sub("home")},
      {"QT_QPA_PLATFORM", "offscreen"},
  };
  std::string bin = KIVO_BIN_DIR;

  // The program copied alone into a folder without language files.
  std::string Alone(const std::string& program) {
    std::string dir = scratch.Sub("alone");
    std::filesystem::copy_file(bin + program, dir + program);
    return dir + program;
  }
};

TEST_F(ProcessTest, CliAnswersHelpAndVersion) {
  Result help = RunProgram({bin + "kivo-cli", "--help"}, env);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: kivo-cli"), std::string::npos);
  Result version = RunProgram({bin + "kivo-cli", "--version"}, env);
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("kivo-cli ", 0), 0u);
  EXPECT_EQ(RunProgram({bin + "kivo-cli", "--bogus"}, env).exitCode, 2);
  EXPECT_EQ(RunProgram({bin + "kivo-cli", "nosuchcommand"}, env).exitCode, 2);
  EXPECT_EQ(RunProgram({bin + "kivo-cli", "--language"}, env).exitCode, 2);
  EXPECT_EQ(RunProgram({bin + "kivo-cli", "--language", "usa", "--help"}, env).exitCode, 0);
}

TEST_F(ProcessTest, CliWithoutLanguageFileExits99) {
  Result r = RunProgram({Alone("kivo-cli"), "--version"}, env);
  EXPECT_EQ(r.exitCode, 99);
  EXPECT_NE(r.err.find("Program text missing/wrong"), std::string::npos);
  EXPECT_NE(r.err.find("KivoText.ger"), std::string::npos);
  EXPECT_TRUE(r.out.empty());
}

TEST_F(ProcessTest, TwoInstancesRunAndTheThirdEndsAtOnce) {
  Process first = Spawn({SLOT_HOLDER}, env);
  EXPECT_EQ(ReadLine(first.stdoutFd), "slot 1");
  Process second = Spawn({SLOT_HOLDER}, env);
  EXPECT_EQ(ReadLine(second.stdoutFd), "slot 2");
  EXPECT_EQ(RunProgram({SLOT_HOLDER}, env, 5).exitCode, 3);
#if KIVO_GUI_BUILT
  Result window = RunProgram({bin + "kivo"}, env, 10);
  EXPECT_EQ(window.exitCode, 0);
#endif
  Stop(first);
  // A slot freed by an ended process is free again.
  Process third = Spawn({SLOT_HOLDER}, env);
  EXPECT_EQ(ReadLine(third.stdoutFd), "slot 1");
  Stop(third);
  Stop(second);
}

#if KIVO_GUI_BUILT
TEST_F(ProcessTest, WindowProgramWithoutLanguageFileExits99) {
  Result r = RunProgram({Alone("kivo")}, env);
  EXPECT_EQ(r.exitCode, 99);
  EXPECT_NE(r.err.find("Program text missing/wrong"), std::string::npos);
}

TEST_F(ProcessTest, WindowProgramsTakeSlotsOneAndTwo) {
  Process first = Spawn({bin + "kivo"}, env);
  Process second = Spawn({bin + "kivo"}, env);
  // Once both have started, a helper finds no slot left (a loaded machine may
  // take a while to start them).
  std::this_thread::sleep_for(std::chrono::seconds(1));
  int helperExit = 0;
  for (int attempt = 0; attempt < 100 && helperExit != 3; ++attempt) {
    helperExit = RunProgram({SLOT_HOLDER}, env, 5).exitCode;
    if (helperExit != 3) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(helperExit, 3);
  // Both keep running: their windows are open.
  EXPECT_EQ(WaitExit(first, 0.5), -1);
  EXPECT_EQ(WaitExit(second, 0.5), -1);
  ::kill(first.pid, SIGKILL);
  ::kill(second.pid, SIGKILL);
  Stop(first);
  Stop(second);
}
#endif

}  // namespace
}  // namespace kivo
