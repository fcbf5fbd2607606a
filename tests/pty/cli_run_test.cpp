// kivo-cli run and demo as real processes on kernel pseudo-terminals: two
// programs, one the primary and one the secondary of addresses 1, 2 and 3,
// and the built-in demo. Their logs are read back afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "app/instance.h"
#include "app/startup.h"
#include "link/serial_path.h"
#include "log/log_store.h"
#include "pty/process_fixture.h"
#include "record/frame_status.h"

namespace kivo {
namespace {

using testing::Process;
using testing::ReadAll;
using testing::ReadLine;
using testing::Result;
using testing::RunProgram;
using testing::ScratchDir;
using testing::Spawn;
using testing::WaitExit;

// Every entry of a log, oldest first.
std::vector<TLogEntry> ReadLog(const std::string& path) {
  testing::FakePlatform fake;
  Instance instance(fake.Get());
  EXPECT_EQ(StartInstance(instance), StartOutcome::Run);
  LogStore& log = instance.logStore;
  std::vector<TLogEntry> entries;
  if (!log.OpenLog(path, false, LogOpenMode::ReadOnly) || !log.OpenReader()) {
    ADD_FAILURE() << path << " does not read as a log";
    return entries;
  }
  do {
    if (log.CurrentEntry().byteCount > 0 || log.CurrentEntry().frameKind == kFrameEvent) {
      entries.push_back(log.CurrentEntry());
    }
  } while (log.StepBack());
  std::reverse(entries.begin(), entries.end());
  return entries;
}

std::string Hexed(const TLogEntry& e) {
  std::string text;
  char buffer[4];
  for (std::uint8_t octet : e.Frame()) {
    std::snprintf(buffer, sizeof buffer, "%02X ", octet);
    text += buffer;
  }
  return text;
}

std::set<int> Established(const std::vector<TLogEntry>& log) {
  std::set<int> addresses;
  for (const TLogEntry& e : log) {
    if (e.frameKind == kFrameEvent && e.status == event::kLinkEstablished) {
      addresses.insert(e.linkAddress);
    }
  }
  return addresses;
}

// The frames of one channel, as hex.
std::vector<std::string> Frames(const std::vector<TLogEntry>& log, int channel) {
  std::vector<std::string> frames;
  for (const TLogEntry& e : log) {
    if (e.frameKind != kFrameEvent && e.channel == channel) frames.push_back(Hexed(e));
  }
  return frames;
}

class CliRunTest : public ::testing::Test {
 protected:
  ScratchDir scratch;
  std::map<std::string, std::string> env{
      {"XDG_RUNTIME_DIR", scratch.Sub("run")},
      {"XDG_CONFIG_HOME", scratch.Sub("config")},
      {"XDG_DATA_HOME", scratch.Sub("data")},
      {"HOME", scratch.Sub("home")},
  };
  std::string cli = std::string(KIVO_BIN_DIR) + "kivo-cli";

  // The log a program wrote into its data directory (KivoLog.kvl, or
  // KivoLog2.kvl from the second instance slot).
  std::string LogOf(const std::string& directory) {
    for (const auto& file : std::filesystem::directory_iterator(directory)) {
      const std::string name = file.path().filename().string();
      if (name.rfind("KivoLog", 0) == 0 && file.path().extension() == ".kvl") {
        return file.path().string();
      }
    }
    ADD_FAILURE() << "no log in " << directory;
    return directory + "KivoLog.kvl";
  }
};

TEST_F(CliRunTest, APrimaryAndASecondaryProgramTalkOverAPseudoTerminal) {
  const std::string deviceDir = scratch.Sub("device");
  const std::string masterDir = scratch.Sub("master");
  Process device = Spawn({cli, "--language", "usa", "run", "--data-dir", deviceDir, "--port1",
                          "pty", "--function1", "secondary", "--addresses1", "1,2,3"},
                         env);
  // The device names the other end of its pseudo-terminal first.
  const std::string line = ReadLine(device.stderrFd);
  const std::string marker = "its other end is ";
  ASSERT_NE(line.find(marker), std::string::npos) << line;
  const std::string slave = line.substr(line.find(marker) + marker.size());

  // Telegram 10 is a general command to address 1.
  Process master = Spawn(
      {cli, "--language", "usa", "run", "--data-dir", masterDir, "--port1", slave, "--function1",
       "primary", "--addresses1", "1,2,3", "--send", "10", "--print", "oneline"},
      env);
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ::kill(master.pid, SIGTERM);
  EXPECT_EQ(WaitExit(master, 10), 0);
  ::kill(device.pid, SIGTERM);
  EXPECT_EQ(WaitExit(device, 10), 0);
  const std::string printed = ReadAll(master.stdoutFd);
  EXPECT_NE(printed.find("Link established"), std::string::npos);

  const auto primaryLog = ReadLog(LogOf(masterDir));
  const auto secondaryLog = ReadLog(LogOf(deviceDir));
  EXPECT_EQ(Established(primaryLog), (std::set<int>{1, 2, 3}));

  // What one side sent, the other received intact, in order; the frames in
  // flight when the programs ended may be missing at the end.
  const auto sentByPrimary = Frames(primaryLog, 2);
  const auto receivedBySecondary = Frames(secondaryLog, 1);
  const auto sentBySecondary = Frames(secondaryLog, 2);
  const auto receivedByPrimary = Frames(primaryLog, 1);
  ASSERT_GE(sentByPrimary.size(), 8u);
  ASSERT_GE(receivedBySecondary.size() + 2, sentByPrimary.size());
  EXPECT_TRUE(
      std::equal(sentByPrimary.begin(), sentByPrimary.end() - 2, receivedBySecondary.begin()));
  ASSERT_GE(receivedByPrimary.size() + 2, sentBySecondary.size());
  EXPECT_TRUE(
      std::equal(sentBySecondary.begin(), sentBySecondary.end() - 2, receivedByPrimary.begin()));
  for (const auto* log : {&primaryLog, &secondaryLog}) {
    for (const TLogEntry& e : *log) {
      if (e.frameKind != kFrameEvent && e.channel == 1) {
        EXPECT_EQ(e.status, 40) << Hexed(e);
      }
    }
  }
  // The general command of --send arrived.
  EXPECT_TRUE(
      std::any_of(receivedBySecondary.begin(), receivedBySecondary.end(), [](const std::string& f) {
        return f.rfind("68 0A 0A 68", 0) == 0 && f.substr(18, 2) == "14";
      }));

  // Both logs export cleanly.
  for (const std::string& dir : {masterDir, deviceDir}) {
    const Result exported = RunProgram({cli, "export", LogOf(dir), "--format", "csv"}, env);
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_GT(exported.out.size(), 1000u);
  }
  for (Process* p : {&master, &device}) {
    ::close(p->stdinFd);
    ::close(p->stdoutFd);
    ::close(p->stderrFd);
  }
}

TEST_F(CliRunTest, ADeviceThatGoesAwayEndsTheRunWithItsReason) {
  const std::string deviceDir = scratch.Sub("device");
  const std::string masterDir = scratch.Sub("master");
  Process device = Spawn({cli, "--language", "usa", "run", "--data-dir", deviceDir, "--port1",
                          "pty", "--function1", "secondary"},
                         env);
  const std::string line = ReadLine(device.stderrFd);
  const std::string marker = "its other end is ";
  ASSERT_NE(line.find(marker), std::string::npos) << line;
  const std::string slave = line.substr(line.find(marker) + marker.size());
  Process master = Spawn({cli, "--language", "usa", "run", "--data-dir", masterDir, "--port1",
                          slave, "--function1", "primary"},
                         env);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ::kill(device.pid, SIGKILL);
  WaitExit(device, 5);
  EXPECT_EQ(WaitExit(master, 10), 3);
  EXPECT_NE(ReadAll(master.stderrFd).find(slave), std::string::npos);
  // What came before is in the log.
  EXPECT_EQ(Established(ReadLog(LogOf(masterDir))), (std::set<int>{1}));
  for (Process* p : {&master, &device}) {
    ::close(p->stdinFd);
    ::close(p->stdoutFd);
    ::close(p->stderrFd);
  }
}

TEST_F(CliRunTest, TheDemoShowsLinksAndAnsweredCommands) {
  const std::string dir = scratch.Sub("demo");
  const Result demo = RunProgram(
      {cli, "--language", "usa", "demo", "--duration", "9", "--data-dir", dir, "--print", "log"},
      env, 30);
  EXPECT_EQ(demo.exitCode, 0) << demo.err;
  EXPECT_NE(demo.out.find("Link established"), std::string::npos);

  const auto log = ReadLog(LogOf(dir));
  EXPECT_EQ(Established(log), (std::set<int>{1, 2, 3}));
  // Port 2 (channels 3 and 4) plays the devices: the command on INF 16 is
  // acknowledged (cause 20) and reported (cause 12), the one on INF 17
  // refused (cause 21), all as time-tagged messages.
  std::set<int> causes;
  for (const TLogEntry& e : log) {
    const auto f = e.Frame();
    if (e.channel == 4 && f.size() == 20 && f[6] == 1) causes.insert(f[8]);
  }
  EXPECT_TRUE(causes.count(20)) << demo.out.substr(0, 2000);
  EXPECT_TRUE(causes.count(12));
  EXPECT_TRUE(causes.count(21));
}

TEST_F(CliRunTest, ThePortMapOfTheConfigurationNumbersDevices) {
  const std::string config = scratch.Sub("config") + "Brakel/";
  std::filesystem::create_directories(config);
  {
    std::FILE* file = std::fopen((config + "DemoKivo.conf").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("[Software\\Brakel\\DemoKivo\\PortMap]\n7=/dev/kivo-bound-device\n", file);
    std::fclose(file);
  }
  const Result ports = RunProgram({cli, "ports"}, env);
  EXPECT_EQ(ports.exitCode, 0);
  EXPECT_NE(ports.out.find("7\t/dev/kivo-bound-device\t(bound in "), std::string::npos)
      << ports.out;
  // Port number 7 names the bound device, which is not there.
  const Result run = RunProgram(
      {cli, "run", "--data-dir", scratch.Sub("mapped"), "--port1", "7", "--duration", "1"}, env);
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.err.find("/dev/kivo-bound-device"), std::string::npos) << run.err;
}

TEST_F(CliRunTest, TwoRunsShareADataDirectoryWithTheirOwnFilesAndAThirdEndsAtOnce) {
  const std::string dir = scratch.Sub("shared");
  std::vector<Process> runs;
  for (int i = 0; i < 2; ++i) {
    runs.push_back(Spawn({cli, "run", "--data-dir", dir, "--port1", "pty"}, env));
    EXPECT_NE(ReadLine(runs.back().stderrFd).find("other end is"), std::string::npos);
  }
  const Result third = RunProgram({cli, "run", "--data-dir", dir, "--port1", "pty"}, env, 10);
  EXPECT_EQ(third.exitCode, 1);
  EXPECT_NE(third.err.find("instance slots"), std::string::npos) << third.err;
  for (Process& p : runs) {
    ::kill(p.pid, SIGTERM);
    EXPECT_EQ(WaitExit(p, 10), 0);
    ::close(p.stdinFd);
    ::close(p.stdoutFd);
    ::close(p.stderrFd);
  }
  EXPECT_TRUE(std::filesystem::exists(dir + "KivoLog.kvl"));
  EXPECT_TRUE(std::filesystem::exists(dir + "KivoLog2.kvl"));
}

TEST_F(CliRunTest, BadOptionsAndMissingDevicesAreReported) {
  const std::string dir = scratch.Sub("bad");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"run", "--bogus"},
                                               {"run", "--function1", "master"},
                                               {"run", "--addresses1", "1,300"},
                                               {"run", "--send", "13"},
                                               {"run", "--duration", "-1"},
                                               {"run", "--data-dir", dir},  // no port
                                               {"demo", "--port1", "pty"}}) {
    std::vector<std::string> command{cli};
    command.insert(command.end(), args.begin(), args.end());
    const Result r = RunProgram(command, env);
    EXPECT_EQ(r.exitCode, 2) << args[1] << ": " << r.err;
    EXPECT_NE(r.err.find("Usage: kivo-cli"), std::string::npos);
  }
  const Result missing = RunProgram(
      {cli, "run", "--data-dir", dir, "--port1", "/dev/kivo-no-such-device", "--duration", "2"},
      env);
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_NE(missing.err.find("/dev/kivo-no-such-device"), std::string::npos) << missing.err;
  EXPECT_EQ(RunProgram({cli, "run", "--help"}, env).exitCode, 0);
}

}  // namespace
}  // namespace kivo
