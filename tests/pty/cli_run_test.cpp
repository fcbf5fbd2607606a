// kivo-cli run and demo as real processes on kernel pseudo-terminals; their
// logs are read back afterwards.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "log/log_store_fixture.h"
#include "platform/posix/pty.h"
#include "pty/process_fixture.h"
#include "record/frame_status.h"

namespace kivo::testing {
namespace {

// Every entry of a log, oldest first.
std::vector<TLogEntry> ReadLog(const std::string& path) {
  StoreRig rig;
  LogStore& log = rig.store;
  std::vector<TLogEntry> entries;
  if (!log.OpenLog(path, false, LogOpenMode::ReadOnly) || !log.OpenReader()) {
    ADD_FAILURE() << path << " does not read as a log";
    return entries;
  }
  do {
    const TLogEntry& e = log.CurrentEntry();
    if (e.byteCount > 0 || e.frameKind == kFrameEvent) entries.push_back(e);
  } while (log.StepBack());
  std::reverse(entries.begin(), entries.end());
  return entries;
}

std::set<int> Established(const std::vector<TLogEntry>& log) {
  std::set<int> addresses;
  for (const TLogEntry& e : log)
    if (e.frameKind == kFrameEvent && e.status == event::kLinkEstablished)
      addresses.insert(e.linkAddress);
  return addresses;
}

// The frames of one channel, as hex; those received (channel 1) must have come intact.
std::vector<std::string> Frames(const std::vector<TLogEntry>& log, int channel) {
  std::vector<std::string> frames;
  for (const TLogEntry& e : log) {
    if (e.frameKind == kFrameEvent || e.channel != channel) continue;
    frames.push_back(ToHex(e.Frame()));
    if (channel == 1) {
      EXPECT_EQ(e.status, 40) << frames.back();
    }
  }
  return frames;
}

// What one side sent, the other received intact, in order; the frames in
// flight when the programs ended may be missing at the end.
void ExpectReceivedAsSent(const std::vector<std::string>& sent,
                          const std::vector<std::string>& received) {
  ASSERT_GE(received.size() + 2, sent.size());
  const std::size_t inFlight = std::min<std::size_t>(2, sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end() - static_cast<long>(inFlight), received.begin()));
}

class CliRunTest : public ProgramTest {
 protected:
  Process Run(const std::string& dir, const std::string& port, const std::string& function,
              std::vector<std::string> more = {}) {
    more.insert(more.begin(), {cli, "--language", "usa", "run", "--data-dir", dir, "--port1", port,
                               "--function1", function});
    return Spawn(more, env);
  }
  // The other end of the pseudo-terminal that a program on port "pty" names first.
  static std::string OtherEnd(const Process& p) {
    const std::string line = ReadLine(p.stderrFd), marker = "its other end is ";
    const std::size_t at = line.find(marker);
    EXPECT_NE(at, std::string::npos) << line;
    return at == std::string::npos ? "" : line.substr(at + marker.size());
  }
  // A secondary program on a new pseudo-terminal; `slave` is the end a primary opens.
  Process Device(const std::string& dir, std::string& slave, std::vector<std::string> more = {}) {
    Process device = Run(dir, "pty", "secondary", std::move(more));
    slave = OtherEnd(device);
    return device;
  }
  // Ends a program by SIGTERM, which it takes as a clean end (one that stays
  // is killed); what it printed, standard output before standard error.
  static std::string Terminate(Process& p) {
    ::kill(p.pid, SIGTERM);
    const int exitCode = WaitExit(p, 10);
    if (exitCode < 0 && ::kill(p.pid, SIGKILL) == 0) WaitExit(p, 5);
    EXPECT_EQ(exitCode, 0);
    std::string printed = ReadAll(p.stdoutFd) + ReadAll(p.stderrFd);
    p.CloseAll();
    return printed;
  }
  // The other end of a program's pseudo-terminal, opened raw.
  static int OpenRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    return fd;
  }
  // Requests the status of link 1 and returns the answer as hex; asked again
  // after half a second without one, at most `tries` times (a program
  // empties its input when it opens its port).
  static std::string AskLinkStatus(int fd, int tries) {
    const std::uint8_t request[] = {0x10, 0x49, 0x01, 0x4A, 0x16};
    std::vector<std::uint8_t> answer;
    for (int i = 0; i < tries * 5 && answer.size() < 5; ++i) {
      if (i % 5 == 0 && ::write(fd, request, sizeof request) != 5) break;
      pollfd pfd{fd, POLLIN, 0};
      std::uint8_t buffer[16];
      const ssize_t n = ::poll(&pfd, 1, 100) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
      if (n > 0) answer.insert(answer.end(), buffer, buffer + n);
    }
    return ToHex(answer);
  }
  // The log a program wrote into its data directory (from the second
  // instance slot KivoLog2.lg3).
  static std::string LogOf(const std::string& dir) {
    for (const char* name : {"KivoLog.lg3", "KivoLog2.lg3"})
      if (std::filesystem::exists(dir + name)) return dir + name;
    ADD_FAILURE() << "no log in " << dir;
    return dir + "KivoLog.lg3";
  }
};

// Both take the port block from the command line and use 0xE5 for no data,
// which the primary logs as correct. The device's command-response table
// comes from a file: it acknowledges the general command of the primary
// (cause 20, INF 16, the command's DCO) and then reports the response
// message the row asks for (cause 12, INF 17, DCO XOR 3).
TEST_F(CliRunTest, APrimaryAndASecondaryProgramTalkOverAPseudoTerminal) {
  const std::string deviceDir = scratch.Sub("device"), masterDir = scratch.Sub("master");
  const std::string sim = scratch.path() + "answers.txt";
  WriteFile(sim, "0;\r\n16;1;0;17;5;\r\n");
  std::string slave;
  const std::string settings = "e5=ack-and-no-data,poll-cycle=100";
  Process device =
      Device(deviceDir, slave, {"--set1", "addresses=1,2,3," + settings, "--sim", sim});
  ASSERT_FALSE(slave.empty());
  // Telegram 10 is a general command ON (DCO 1) on INF 16 to address 1.
  Process master = Run(masterDir, slave, "primary",
                       {"--addresses1", "1,2,3", "--set1", settings + ",timeout=300", "--send",
                        "10", "--print", "oneline"});
  std::this_thread::sleep_for(std::chrono::seconds(4));
  EXPECT_NE(Terminate(master).find("Link established"), std::string::npos);
  Terminate(device);

  const auto primaryLog = ReadLog(LogOf(masterDir));
  const auto secondaryLog = ReadLog(LogOf(deviceDir));
  EXPECT_EQ(Established(primaryLog), (std::set<int>{1, 2, 3}));
  const auto sentByPrimary = Frames(primaryLog, 2);
  ASSERT_GE(sentByPrimary.size(), 8u);
  ExpectReceivedAsSent(sentByPrimary, Frames(secondaryLog, 1));
  const auto answers = Frames(primaryLog, 1);  // each received one checked correct
  ExpectReceivedAsSent(Frames(secondaryLog, 2), answers);
  EXPECT_GT(std::count(answers.begin(), answers.end(), "E5"), 2) << answers.size();
  std::vector<std::string> messages;  // cause, INF, DPI of each time-tagged message
  for (const TLogEntry& e : primaryLog) {
    const auto f = e.Frame();
    if (e.channel == 1 && f.size() == 20 && f[6] == 1)
      messages.push_back(ToHex(f.subspan(8, 1)) + " " + ToHex(f.subspan(11, 2)));
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"14 10 01", "0C 11 02"}));
  for (const std::string& dir : {masterDir, deviceDir}) {
    const Result exported = Cli({"export", LogOf(dir), "--format", "csv"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_GT(exported.out.size(), 1000u);
  }
}

TEST_F(CliRunTest, ADeviceThatGoesAwayEndsTheRunWithItsReason) {
  const std::string masterDir = scratch.Sub("master");
  std::string slave;
  Process device = Device(scratch.Sub("device"), slave);
  ASSERT_FALSE(slave.empty());
  Process master = Run(masterDir, slave, "primary");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ::kill(device.pid, SIGKILL);
  WaitExit(device, 5);
  EXPECT_EQ(WaitExit(master, 10), 3);
  EXPECT_NE(ReadAll(master.stderrFd).find(slave), std::string::npos);
  EXPECT_EQ(Established(ReadLog(LogOf(masterDir))), (std::set<int>{1})) << "what came before";
  master.CloseAll();
  device.CloseAll();
}

// With --reopen the run goes on when its device goes away, and the port opens
// again under its path (here a link, as /dev/serial/by-id gives one) when a
// device is back there: event 48 a second time, and the link comes up anew.
TEST_F(CliRunTest, WithReopenAPortThatGoesAwayOpensAgainUnderItsPath) {
  const std::string masterDir = scratch.Sub("master"), link = scratch.path() + "by-id-link";
  std::string slave;
  Process first = Device(scratch.Sub("first"), slave);
  ASSERT_EQ(::symlink(slave.c_str(), link.c_str()), 0);
  Process master = Run(masterDir, link, "primary", {"--reopen", "--set1", "poll-cycle=100"});
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ::kill(first.pid, SIGKILL);
  WaitExit(first, 5);
  first.CloseAll();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // tried and refused
  Process second = Device(scratch.Sub("second"), slave);
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(slave.c_str(), link.c_str()), 0);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const std::string said = Terminate(master);  // a clean end, exit code 0
  Terminate(second);
  EXPECT_NE(said.find("kivo-cli: port 1 is open"), std::string::npos) << said;

  // The link was up before the device went and again after the port
  // reopened (a loaded machine may lose and set it up more often).
  int opened = 0, closed = 0;
  std::set<int> establishedWhileOpen;
  for (const TLogEntry& e : ReadLog(LogOf(masterDir))) {
    if (e.frameKind != kFrameEvent) continue;
    opened += e.status == event::kPortOpened;
    closed += e.status == event::kPortClosed;
    if (e.status == event::kLinkEstablished && e.linkAddress == 1) {
      establishedWhileOpen.insert(opened);
    }
  }
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(closed, 2);  // gone, and the end of the run
  EXPECT_EQ(establishedWhileOpen, (std::set<int>{1, 2}));
}

TEST_F(CliRunTest, TheDemoShowsLinksAndAnsweredCommands) {
  const std::string dir = scratch.Sub("demo");
  const Result demo =
      Cli({"--language", "usa", "demo", "--duration", "9", "--data-dir", dir, "--print", "log"});
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

  // The printed entries are numbered as the export of the same log numbers
  // them: from 1. The export adds its page header, empty lines and end line.
  const Result exported = Cli({"--language", "usa", "export", LogOf(dir)});
  std::vector<std::string> printed, lines;
  std::istringstream printStream(demo.out), exportStream(exported.out);
  for (std::string line; std::getline(printStream, line);) printed.push_back(line);
  for (std::string line; std::getline(exportStream, line);)
    if (line != "\r") lines.push_back(line.substr(0, line.size() - 1));
  ASSERT_GE(lines.size(), 4u);
  lines = std::vector<std::string>(lines.begin() + 2, lines.end() - 1);
  ASSERT_FALSE(printed.empty());
  EXPECT_EQ(printed.front().substr(0, 3), " 1 ");
  EXPECT_EQ(printed, lines);

  // The statistics of the same log: the primary established each link once
  // (the seventh column); a file that is not a log and an unknown format
  // are refused with their exit codes.
  const Result stats = Cli({"stats", LogOf(dir), "--format", "csv"});
  EXPECT_EQ(stats.exitCode, 0) << stats.err;
  std::istringstream statsStream(stats.out);
  std::set<std::string> established;
  for (std::string line; std::getline(statsStream, line);) {
    std::vector<std::string> cells;
    std::istringstream cellStream(line);
    for (std::string cell; std::getline(cellStream, cell, ';');) cells.push_back(cell);
    if (cells.size() > 6 && cells[0] == "1") established.insert(cells[1] + "=" + cells[6]);
  }
  EXPECT_EQ(established, (std::set<std::string>{"1=1", "2=1", "3=1"})) << stats.out;
  const std::string notALog = dir + "export.txt";
  std::ofstream(notALog) << exported.out;
  EXPECT_EQ(Cli({"stats", notALog}).exitCode, 3);
  EXPECT_EQ(Cli({"stats", LogOf(dir), "--format", "xml"}).exitCode, 2);
}

// A gap monitor chosen on the command line takes the proposed character gap
// (3 ms at 9600 Bd), not the 400 ms response time-out of a link port, so a
// request and the answer 150 ms later are two frames.
TEST_F(CliRunTest, AGapMonitorOnTheCommandLineCutsFramesAtTheProposedGap) {
  const std::string dir = scratch.Sub("monitor");
  PseudoTerminal line;
  ASSERT_TRUE(line.ok()) << line.error();
  Process monitor = Run(dir, line.slavePath(), "gap", {"--print", "oneline"});
  EXPECT_NE(ReadLine(monitor.stdoutFd), "");  // the port is open
  const Octets request = Hex("10 5B 01 5C 16"), answer = Hex("E5");
  ASSERT_EQ(::write(line.master(), request.data(), request.size()), 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_EQ(::write(line.master(), answer.data(), answer.size()), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  Terminate(monitor);
  std::vector<std::string> received;
  for (const TLogEntry& e : ReadLog(LogOf(dir)))
    if (e.frameKind != kFrameEvent && e.channel == 1) received.push_back(ToHex(e.Frame()));
  EXPECT_EQ(received, (std::vector<std::string>{"10 5B 01 5C 16", "E5"}));
}

TEST_F(CliRunTest, ThePortMapOfTheConfigurationNumbersDevices) {
  const std::string config = scratch.Sub("config/Brakel");
  WriteFile(config + "DemoKivo.conf",
            "[Software\\Brakel\\DemoKivo\\PortMap]\n7=/dev/kivo-bound-device\n");
  const Result ports = Cli({"ports"});
  EXPECT_EQ(ports.exitCode, 0);
  EXPECT_NE(ports.out.find("7\t/dev/kivo-bound-device\t(bound in "), std::string::npos)
      << ports.out;
  // Port number 7 names the bound device, which is not there.
  const Result run =
      Cli({"run", "--data-dir", scratch.Sub("mapped"), "--port1", "7", "--duration", "1"});
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
  const Result third = Cli({"run", "--data-dir", dir, "--port1", "pty"}, 10);
  EXPECT_EQ(third.exitCode, 1);
  EXPECT_NE(third.err.find("instance slots"), std::string::npos) << third.err;
  for (Process& p : runs) Terminate(p);
  EXPECT_TRUE(std::filesystem::exists(dir + "KivoLog.lg3"));
  EXPECT_TRUE(std::filesystem::exists(dir + "KivoLog2.lg3"));
}

TEST_F(CliRunTest, BadOptionsAndMissingDevicesAreReported) {
  const std::string dir = scratch.Sub("bad");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"run", "--bogus"},
                                               {"run", "--function1", "master"},
                                               {"run", "--addresses1", "1,300"},
                                               {"run", "--timeout1", "0"},
                                               {"run", "--set1", "timeout=0"},
                                               {"run", "--set1", "colour=red"},
                                               {"run", "--line1", "9600/8X1"},
                                               {"run", "--link-test2", "busy,slow"},
                                               {"ports", "--bogus"},
                                               {"run", "--fail-on", "late"},
                                               {"run", "--send", "13"},
                                               {"run", "--duration", "-1"},
                                               {"run", "--data-dir", dir},  // no port
                                               {"demo", "--port1", "pty"}}) {
    const Result r = Cli(args);
    EXPECT_EQ(r.exitCode, 2) << args[1] << ": " << r.err;
    EXPECT_NE(r.err.find("Usage: kivo-cli"), std::string::npos);
  }
  const Result missing =
      Cli({"run", "--data-dir", dir, "--port1", "/dev/kivo-no-such-device", "--duration", "2"});
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_NE(missing.err.find("/dev/kivo-no-such-device"), std::string::npos) << missing.err;
  EXPECT_EQ(Cli({"run", "--help"}).exitCode, 0);
}

// A pseudo-terminal cannot switch RTS itself: a port set to leave RTS to the
// driver is not opened, the reason is told once, and the run ends offline.
TEST_F(CliRunTest, RtsByTheDriverIsRefusedWhereTheDeviceCannotDoIt) {
  PseudoTerminal device;
  ASSERT_TRUE(device.ok()) << device.error();
  // The kernel's reason follows the device's name.
  const std::string why = ": ";
  const struct {
    std::string port;
    std::string reason;
  } cases[] = {{device.slavePath(), device.slavePath() + why},
               {"pty", "the pseudo-terminal" + why}};
  for (const auto& c : cases) {
    const std::string dir = scratch.Sub("rs485");
    const Result r = Cli({"--language", "usa", "run", "--data-dir", dir, "--port1", c.port,
                          "--set1", "rts=rs485,rts-lead=2", "--duration", "1"});
    EXPECT_EQ(r.exitCode, 3) << c.port;
    EXPECT_NE(r.err.find("kivo-cli: RS-485 by the driver is not supported by " + c.reason),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("names no device"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadLog(LogOf(dir)).empty()) << "the port was never opened";
  }
}

// What ports --show prints is a port block that a run takes.
TEST_F(CliRunTest, PortsShowPrintsSettingsThatARunTakes) {
  const Result shown = Cli({"ports", "--show", "--data-dir", scratch.Sub("show")});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  std::istringstream lines(shown.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("--line1 9600/8E1 --set1 function=listener,addresses=1,", 0), 0u) << line;
  const std::string set = line.substr(line.find("--set1 ") + 7);
  const Result again = Cli({"run", "--data-dir", scratch.Sub("again"), "--port1", "pty", "--set1",
                            set, "--duration", "0.5"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
}

// A reader of the live print that never reads (a full pipe) does not hold up
// the line: every request is answered (with the busy flag negatively), and
// the run says what it skipped.
TEST_F(CliRunTest, AStalledReaderOfThePrintDoesNotHoldUpTheLine) {
  std::string slave;
  Process device = Device(
      scratch.Sub("device"), slave,
      {"--line1", "115200/8E1", "--set1", "addresses=1", "--link-test1", "busy", "--print", "log"});
  ASSERT_FALSE(slave.empty());
  const int fd = OpenRaw(slave);
  ASSERT_GE(fd, 0);
  // Some 900 kB of print for a pipe of 64 kB that nobody reads.
  const std::string negative = "10 01 01 02 16";
  EXPECT_EQ(AskLinkStatus(fd, 10), negative);
  int answered = 1;
  while (answered < 3000 && AskLinkStatus(fd, 2) == negative) ++answered;
  ::close(fd);
  EXPECT_NE(Terminate(device).find("were not printed"), std::string::npos);
  EXPECT_EQ(answered, 3000);
}

// A run for a CI job: the summary says what happened per address, and
// --fail-on turns a device that never answers into exit code 4.
// The device gets 400 ms to answer, so that a loaded machine does not make
// address 1 late and lose its link.
TEST_F(CliRunTest, TheSummaryAndTheVerdictOfAnUnattendedRun) {
  std::string slave;
  Process device = Device(scratch.Sub("device"), slave, {"--set1", "addresses=1"});
  ASSERT_FALSE(slave.empty());
  const std::string summary = scratch.path() + "summary.json";
  const Result master =
      Cli({"run", "--data-dir", scratch.Sub("master"), "--port1", slave, "--set1",
           "function=primary,addresses=1,9,timeout=400,poll-cycle=100", "--duration", "3",
           "--summary", summary, "--fail-on", "faulty,no-link"});
  Terminate(device);
  EXPECT_EQ(master.exitCode, 4) << master.err;
  EXPECT_NE(master.err.find("never established the link of address 9"), std::string::npos)
      << master.err;
  const std::string json = ReadFile(summary);
  EXPECT_NE(json.find("{\"address\": 1, \"linksEstablished\": 1, \"linksLost\": 0"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"address\": 9, \"linksEstablished\": 0"), std::string::npos) << json;
  EXPECT_NE(json.find("\"byStatus\": {\"40\": "), std::string::npos) << json;
  // Without --fail-on the same run ends as before.
  std::string other;
  Process again = Device(scratch.Sub("device2"), other, {"--set1", "addresses=1"});
  const Result plain = Cli({"run", "--data-dir", scratch.Sub("master2"), "--port1", other, "--set1",
                            "function=primary,addresses=1,9,timeout=100", "--duration", "1"});
  Terminate(again);
  EXPECT_EQ(plain.exitCode, 0) << plain.err;
}

// A general command as a single-telegram file: type 20, INF 16, DCO 2,
// RII 5, service send/no reply, common address 7.
constexpr const char* kCommandFile =
    "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n0;5;0;0;0;0;\r\n0;\r\n";

// Octets waiting on a pseudo-terminal end, as hex.
std::string Pending(int fd) {
  std::vector<std::uint8_t> octets;
  pollfd pfd{fd, POLLIN, 0};
  std::uint8_t buffer[256];
  while (::poll(&pfd, 1, 300) > 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    octets.insert(octets.end(), buffer, buffer + n);
  }
  return ToHex(octets);
}

// A telegram from a text file reaches the line as the file says; written
// into a send-telegram file with the general and port parameters, a run of
// that file sends it the same way, with the common address of its own and
// the link address of the port's list.
TEST_F(CliRunTest, ATelegramFromATextFileReachesTheLineAlsoThroughASendTelegramFile) {
  const std::string command = scratch.path() + "command.txt";
  WriteFile(command, kCommandFile);
  PseudoTerminal line;
  ASSERT_TRUE(line.ok()) << line.error();
  const Result direct =
      Cli({"run", "--data-dir", scratch.Sub("direct"), "--port1", line.slavePath(), "--telegram",
           "1=" + command, "--send", "1", "--duration", "1.5"});
  EXPECT_EQ(direct.exitCode, 0) << direct.err;
  EXPECT_EQ(Pending(line.master()), "68 0A 0A 68 44 01 14 81 14 01 80 10 02 05 86 16");

  const std::string file = scratch.path() + "made.kvs";
  const Result made = Cli({"sendfile", file, "--data-dir", scratch.Sub("made"), "--telegram",
                           "2=" + command, "--general", "common-address=separate,summer-time=on",
                           "--set1", "addresses=4,timeout=300"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const Result shown = Cli({"sendfile", "--show", file, "--data-dir", scratch.Sub("made")});
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  const Result foreign = Cli({"sendfile", "--show", command, "--data-dir", scratch.Sub("made")});
  EXPECT_EQ(foreign.exitCode, 3) << foreign.err;
  EXPECT_FALSE(foreign.err.empty());
  EXPECT_NE(shown.out.find("\n--general common-address=separate,summer-time=on,"),
            std::string::npos)
      << shown.out.substr(0, 800);
  EXPECT_NE(shown.out.find("--set1 function=listener,addresses=4,telegram-length=94,timeout=300,"),
            std::string::npos);
  EXPECT_NE(shown.out.find("--telegram 2=FILE takes:\nGC;0;0;1;2;0;0;1;4;7;20;20;128;16;2;0;0;\n"
                           "0;5;0;0;0;0;\n0;0;"),
            std::string::npos)
      << shown.out;

  const Result viaFile = Cli({"run", "--data-dir", scratch.Sub("run"), "--send-file", file,
                              "--port1", line.slavePath(), "--send", "2", "--duration", "1.5"});
  EXPECT_EQ(viaFile.exitCode, 0) << viaFile.err;
  EXPECT_EQ(Pending(line.master()), "68 0A 0A 68 44 04 14 81 14 07 80 10 02 05 8F 16");
  // What ports --show prints of the file is what the file holds.
  const Result ports =
      Cli({"ports", "--show", "--send-file", file, "--data-dir", scratch.Sub("run")});
  EXPECT_NE(ports.out.find("--general common-address=separate,summer-time=on,measurand100=3413,"),
            std::string::npos)
      << ports.out;
}

// A file with a line that does not read ends the program before anything
// is sent or written, naming the file and the line.
TEST_F(CliRunTest, ABadLineInATextFileIsNamedAndNothingIsSent) {
  const std::string good = scratch.path() + "good.txt", bad = scratch.path() + "bad.txt",
                    rows = scratch.path() + "rows.txt", sim = scratch.path() + "sim.txt";
  WriteFile(good, kCommandFile);
  WriteFile(bad, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n0;5;0;0;0;0;\r\n4;1;2;\r\n");
  WriteFile(rows, "L;0;0;1;2;0;0;0;1;1;1;1;128;0;1;0;0;\n1;1;1;128;16;2;0;\n1;1;1;128;16;2;\n");
  WriteFile(sim, "1;\n16;1;0;17;9;\n");
  PseudoTerminal line;
  ASSERT_TRUE(line.ok()) << line.error();
  const std::string out = scratch.path() + "never.kvs";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--telegram", "1=" + bad, "--send", "1"},
       bad + ":3: rawLength is 4 but the line holds 2 octets (--telegram 1)"},
      {{"--telegram", "1=" + good, "--list", "3=" + rows, "--send", "1"},
       rows + ":3: data2 is missing (--list 3)"},
      {{"--sim", sim, "--telegram", "1=" + good, "--send", "1"},
       sim + ":2: responseState takes 0..5, not '9' (--sim)"},
      {{"--telegram", "1=" + scratch.path() + "none.txt", "--send", "1"}, "cannot read"},
      {{"--telegram", "13=" + good}, "--telegram takes N=FILE with N from 1 to 12"},
      {{"--general", "measurand100=50"}, "--general measurand100 takes 100..32767, not '50'"},
      {{"--general", "summer=on"}, "--general has no setting 'summer'"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> run = {
        "run", "--data-dir", scratch.Sub("bad"), "--port1", line.slavePath(), "--duration", "1"};
    std::vector<std::string> sendfile = {"sendfile", out};
    for (const std::string& a : c.args) {
      run.push_back(a);
      if (a != "--send" && a != "1") sendfile.push_back(a);
    }
    const Result r = Cli(run);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    const Result s = Cli(sendfile);
    EXPECT_EQ(s.exitCode, 2) << s.err;
    EXPECT_NE(s.err.find(c.message), std::string::npos) << s.err;
  }
  EXPECT_EQ(Pending(line.master()), "");
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace kivo::testing
