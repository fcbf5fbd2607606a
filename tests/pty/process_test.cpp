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
#include "app/startup.h"
#include "log/log_filter.h"
#include "log/log_store.h"
#include "pty/process_fixture.h"
#include "record/ft12.h"

namespace kivo {
namespace {

using testing::ScratchDir;

using testing::Process;
using testing::ReadLine;
using testing::Result;
using testing::RunProgram;
using testing::Spawn;
using testing::Stop;
using testing::WaitExit;

class ProcessTest : public ::testing::Test {
 protected:
  ScratchDir scratch;
  std::map<std::string, std::string> env{
      {"XDG_RUNTIME_DIR", scratch.Sub("run")}, {"XDG_CONFIG_HOME", scratch.Sub("config")},
      {"XDG_DATA_HOME", scratch.Sub("data")},  {"HOME", scratch.Sub("home")},
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

// Logs for the export, written by the store of an Instance in virtual time.
class ExportTest : public ProcessTest {
 protected:
  std::string WriteLog(int polls, int interrogations) {
    testing::FakePlatform fake;
    Instance instance(fake.Get());
    EXPECT_EQ(StartInstance(instance), StartOutcome::Run);
    CreateMainState(instance, {});
    TLogEntry poll;
    poll.status = 40;
    poll.frameKind = kFrameFixed;
    poll.channel = 2;
    poll.control = 0x5B;
    poll.linkAddress = 1;
    const std::uint8_t pollFrame[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
    poll.SetFrame(pollFrame);
    std::vector<std::uint8_t> gi = {0x68, 0x09, 0x09, 0x68, 0x53, 0x01, 0x07, 0x81,
                                    0x09, 0x01, 0xFF, 0x00, 0x12, 0x00, 0x16};
    gi[13] = ft12::FrameChecksum(gi);
    TLogEntry interrogation = poll;
    interrogation.frameKind = kFrameVariable;
    interrogation.control = 0x53;
    interrogation.SetFrame(gi);
    for (int i = 0; i < polls; ++i) instance.logStore.Append(poll);
    for (int i = 0; i < interrogations; ++i) instance.logStore.Append(interrogation);
    instance.logStore.CloseLog();
    std::string path = scratch.path() + "export" + std::to_string(++logs_) + ".kvl";
    std::filesystem::copy_file(instance.logStore.FileName(), path);
    return path;
  }
  Result Export(std::vector<std::string> args) {
    args.insert(args.begin(), {bin + "kivo-cli", "--language", "usa", "export"});
    return RunProgram(args, env);
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  }

 private:
  int logs_ = 0;
};

TEST_F(ExportTest, WritesTheLogAsTextInEachFormat) {
  const std::string log = WriteLog(2, 1);
  const std::string before = testing::ReadFile(log);
  Result full = Export({log});
  EXPECT_EQ(full.exitCode, 0) << full.err;
  EXPECT_EQ(Count(full.out, "TYP 7=General interrogation"), 1);
  EXPECT_NE(full.out.find("--- End of output ---\r\n"), std::string::npos);
  Result csv = Export({log, "--format", "csv"});
  EXPECT_EQ(csv.exitCode, 0);
  EXPECT_EQ(csv.out.rfind("No.;Line;Channel;", 0), 0u);
  for (const char* format : {"compact", "oneline", "bytes"}) {
    Result r = Export({log, "--format", format, "--no-time", "--no-link"});
    EXPECT_EQ(r.exitCode, 0) << format;
    EXPECT_NE(r.out.find("--- End of output ---"), std::string::npos) << format;
  }
  // The log itself is only read.
  EXPECT_EQ(testing::ReadFile(log), before);
}

TEST_F(ExportTest, WritesIntoAFileAndCopiesIntoANewLog) {
  const std::string log = WriteLog(3, 2);
  const std::string text = scratch.path() + "out.txt";
  EXPECT_EQ(Export({log, "-o", text}).exitCode, 0);
  EXPECT_EQ(Count(testing::ReadFile(text), "TYP 7="), 2);

  const std::string copy = scratch.path() + "copy.kvl";
  EXPECT_EQ(Export({log, "--to-log", copy}).exitCode, 0);
  Result again = Export({copy, "--format", "oneline"});
  EXPECT_EQ(again.exitCode, 0);
  Result original = Export({log, "--format", "oneline"});
  // The same entries, the same numbers and times; only the name in the page
  // header differs.
  EXPECT_EQ(again.out.substr(again.out.find("\r\n")),
            original.out.substr(original.out.find("\r\n")));
}

TEST_F(ExportTest, FilterFileLeavesOutWhatItRefuses) {
  const std::string log = WriteLog(4, 1);
  TLogFilter filter;
  Normalise(filter);
  filter.channels = 0x1;  // received on port 1 only: nothing of this log
  EnableWhenRestricting(filter);
  const std::string filterFile = scratch.path() + "only1.flt";
  ASSERT_TRUE(WriteFilterFile(filterFile, filter));
  Result r = Export({log, "--filter", filterFile, "--format", "oneline"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Count(r.out, "\r\n"), 4);  // page header (3 lines) and the end line
}

TEST_F(ExportTest, UnusableLogsAndBadUsage) {
  const std::string junk = scratch.path() + "junk.kvl";
  testing::WriteFile(junk, std::string(5000, 'x'));
  const std::string out = scratch.path() + "never.txt";
  Result r = Export({junk, "-o", out});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("junk.kvl"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(testing::ReadFile(junk), std::string(5000, 'x'));
  EXPECT_EQ(Export({scratch.path() + "missing.kvl"}).exitCode, 3);

  const std::string log = WriteLog(1, 0);
  EXPECT_EQ(Export({}).exitCode, 2);
  EXPECT_EQ(Export({log, "--format", "fancy"}).exitCode, 2);
  EXPECT_EQ(Export({log, "--bogus"}).exitCode, 2);
  EXPECT_EQ(Export({log, "--to-log", log}).exitCode, 2);
  EXPECT_EQ(Export({log, "--filter", junk}).exitCode, 2);
}

TEST_F(ExportTest, DamagedPagesAreCountedAndTheRestExported) {
  const std::string log = WriteLog(400, 400);  // a few pages
  std::string bytes = testing::ReadFile(log);
  ASSERT_GE(bytes.size(), 2128u + 2 * 32768u);
  // Break the entry chain of the first page.
  const std::size_t page0 = 2128;
  for (std::size_t i = 64; i < 400; ++i) bytes[page0 + i] = static_cast<char>(0xFF);
  testing::WriteFile(log, bytes);
  Result r = Export({log, "--format", "oneline"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("passed over 1 damaged page"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("--- End of output ---"), std::string::npos);
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
