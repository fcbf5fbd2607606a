// The programs as real processes: exit codes, instance slots, the export.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "app/fake_platform.h"
#include "log/log_filter.h"
#include "log/log_store_fixture.h"
#include "pty/process_fixture.h"
#include "util/file_io.h"

namespace kivo::testing {
namespace {

class ProcessTest : public ProgramTest {
 protected:
  // The program copied alone into a folder without language files.
  std::string Alone(const std::string& program) {
    const std::string dir = scratch.Sub("alone");
    std::filesystem::copy_file(bin + program, dir + program);
    return dir + program;
  }
};

TEST_F(ProcessTest, CliAnswersHelpAndVersionAndExitsWithItsCodes) {
  const Result help = Cli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: kivo-cli"), std::string::npos);
  const Result version = Cli({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("kivo-cli ", 0), 0u);
  for (const auto& args : {std::vector<std::string>{"--bogus"}, {"nosuchcommand"}, {"--language"}})
    EXPECT_EQ(Cli(args).exitCode, 2) << args[0];
  EXPECT_EQ(Cli({"--language", "usa", "--help"}).exitCode, 0);

  const Result alone = RunProgram({Alone("kivo-cli"), "--version"}, env);
  EXPECT_EQ(alone.exitCode, 99) << "without a language file";
  EXPECT_NE(alone.err.find("Program text missing/wrong"), std::string::npos);
  EXPECT_NE(alone.err.find("KivoText.ger"), std::string::npos);
  EXPECT_TRUE(alone.out.empty());
}

TEST_F(ProcessTest, TwoInstancesRunAndTheThirdEndsAtOnce) {
  Process first = Spawn({SLOT_HOLDER}, env);
  EXPECT_EQ(ReadLine(first.stdoutFd), "slot 1");
  Process second = Spawn({SLOT_HOLDER}, env);
  EXPECT_EQ(ReadLine(second.stdoutFd), "slot 2");
  EXPECT_EQ(RunProgram({SLOT_HOLDER}, env, 5).exitCode, 3);
#if KIVO_GUI_BUILT
  EXPECT_EQ(RunProgram({bin + "kivo"}, env, 10).exitCode, 0);
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
  // The entries are numbered from `firstSeqNo`.
  std::string WriteLog(int polls, int interrogations, std::uint32_t firstSeqNo = 1) {
    FakePlatform fake;
    Instance instance(fake.Get());
    EXPECT_EQ(StartInstance(instance), StartOutcome::Run);
    CreateMainState(instance, {});
    LogStore& store = instance.logStore;
    if (firstSeqNo != 1) {
      const std::string name = store.FileName();
      store.CloseLog();
      std::string bytes = ReadFile(name);
      for (int i = 0; i < 4; ++i)  // LastSeqNo of the index block
        bytes[kLogHeaderSize + TLogIndex::Offsets::LastSeqNo + i] =
            static_cast<char>((firstSeqNo - 1) >> (8 * i));
      WriteFile(name, bytes);
      EXPECT_TRUE(store.OpenLog(name, false, LogOpenMode::KeepUnusable));
    }
    for (int i = 0; i < polls; ++i) store.Append(Frame("10 5B 01 5C 16", 40, 2));
    for (int i = 0; i < interrogations; ++i)
      store.Append(Frame("68 09 09 68 53 01 07 81 09 01 FF 00 12 F7 16", 40, 2));
    store.CloseLog();
    const std::string path = scratch.path() + "export" + std::to_string(++logs_) + ".kvl";
    std::filesystem::copy_file(store.FileName(), path);
    return path;
  }
  Result Export(std::vector<std::string> args) {
    args.insert(args.begin(), {"--language", "usa", "export"});
    return Cli(args);
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

 private:
  int logs_ = 0;
};

TEST_F(ExportTest, WritesTheLogAsTextInEachFormatIntoAFileAndIntoANewLog) {
  const std::string log = WriteLog(2, 1);
  const std::string before = ReadFile(log);
  const Result full = Export({log});
  EXPECT_EQ(full.exitCode, 0) << full.err;
  EXPECT_EQ(Count(full.out, "TYP 7=General interrogation"), 1);
  EXPECT_NE(full.out.find("--- End of output ---\r\n"), std::string::npos);
  const Result csv = Export({log, "--format", "csv"});
  EXPECT_EQ(csv.exitCode, 0);
  EXPECT_EQ(csv.out.rfind("No.;Line;Channel;", 0), 0u);
  for (const char* format : {"compact", "oneline", "bytes"}) {
    const Result r = Export({log, "--format", format, "--no-time", "--no-link"});
    EXPECT_EQ(r.exitCode, 0) << format;
    EXPECT_NE(r.out.find("--- End of output ---"), std::string::npos) << format;
  }
  EXPECT_EQ(ReadFile(log), before) << "the log itself is only read";

  const std::string log2 = WriteLog(3, 2), text = scratch.path() + "out.txt";
  EXPECT_EQ(Export({log2, "-o", text}).exitCode, 0);
  EXPECT_EQ(Count(ReadFile(text), "TYP 7="), 2);
  const std::string copy = scratch.path() + "copy.kvl";
  EXPECT_EQ(Export({log2, "--to-log", copy}).exitCode, 0);
  const Result again = Export({copy, "--format", "oneline"});
  EXPECT_EQ(again.exitCode, 0);
  const Result original = Export({log2, "--format", "oneline"});
  // The same entries, numbers and times; only the name in the page header differs.
  EXPECT_EQ(again.out.substr(again.out.find("\r\n")),
            original.out.substr(original.out.find("\r\n")));
}

TEST_F(ExportTest, CsvShowsFixedFramesWhateverTheLinkLineToggle) {
  const std::string log = WriteLog(3, 1);
  const Result csv = Export({log, "--format", "csv"});
  EXPECT_EQ(Count(csv.out, ";correct;91;1;\r\n"), 3) << csv.out;  // the polls, control 5Bh
  EXPECT_EQ(Export({log, "--format", "csv", "--no-link"}).out, csv.out);
}

TEST_F(ExportTest, NumbersRunOnAcrossTheWrapOfTheSequenceNumber) {
  // 1,400 entries in two pages, numbered from 2^32 - 256 on; SeqNo 0 is number 257.
  const std::string log = WriteLog(700, 700, 4294967040u);
  const Result r = Export({log, "--format", "oneline"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Count(r.out, "TYP7 "), 700);
  EXPECT_EQ(Count(r.out, "\r\nTx port 1   1  "), 1) << r.out.substr(0, 400);
  EXPECT_EQ(Count(r.out, "\r\nTx port 1  999  "), 1);
  const std::string copy = scratch.path() + "copy.kvl";
  EXPECT_EQ(Export({log, "--to-log", copy}).exitCode, 0);
  EXPECT_EQ(Count(Export({copy, "--format", "oneline"}).out, "TYP7 "), 700);
}

TEST_F(ExportTest, FilterFileLeavesOutWhatItRefuses) {
  const std::string log = WriteLog(4, 1);
  TLogFilter filter;
  Normalise(filter);
  filter.channels = 0x1;  // received on port 1 only: nothing of this log
  EnableWhenRestricting(filter);
  const std::string filterFile = scratch.path() + "only1.flt";
  ASSERT_TRUE(WriteFilterFile(filterFile, filter));
  const Result r = Export({log, "--filter", filterFile, "--format", "oneline"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Count(r.out, "\r\n"), 4);  // page header (3 lines) and the end line
}

TEST_F(ExportTest, UnusableLogsAndBadUsage) {
  const std::string junk = scratch.path() + "junk.kvl";
  WriteFile(junk, std::string(5000, 'x'));
  const std::string out = scratch.path() + "never.txt";
  const Result r = Export({junk, "-o", out});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("junk.kvl"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(ReadFile(junk), std::string(5000, 'x'));
  EXPECT_EQ(Export({scratch.path() + "missing.kvl"}).exitCode, 3);

  const std::string log = WriteLog(1, 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {log, "--format", "fancy"},
                                               {log, "--bogus"},
                                               {log, "--to-log", log},
                                               {log, "--filter", junk}})
    EXPECT_EQ(Export(args).exitCode, 2) << args.size();
}

TEST_F(ExportTest, NeverWritesOverTheLogItReadsNorLeavesHalfAnOutput) {
  const std::string log = WriteLog(50, 50), before = ReadFile(log);
  const std::string dir = scratch.path(), name = FileNameOf(log);
  std::filesystem::create_hard_link(log, dir + "hard.kvl");
  std::filesystem::create_symlink(log, dir + "soft.kvl");
  for (const std::string& same : {log, dir + "./" + name, dir + "hard.kvl", dir + "soft.kvl"}) {
    for (const char* option : {"-o", "--to-log"}) {
      const Result r = Export({log, option, same});
      EXPECT_NE(r.exitCode, 0) << option << " " << same;
      EXPECT_NE(r.err.find(same), std::string::npos) << r.err;
      EXPECT_EQ(ReadFile(log), before) << option << " " << same;
    }
  }
  // A write that fails half-way (files limited to 4,096 octets) leaves what
  // stood under the name, and no temporary file.
  const std::string text = dir + "out.txt", copy = dir + "copy.kvl";
  WriteFile(text, "old text");
  WriteFile(copy, "old copy");
  const auto entries = [&] {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      names.insert(e.path().filename());
    return names;
  };
  const std::set<std::string> present = entries();
  rlimit limit{}, small{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  small = {4096, limit.rlim_max};
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Result failedText = Export({log, "-o", text});
  const Result failedCopy = Export({log, "--to-log", copy});
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(failedText.exitCode, 1) << failedText.err;
  EXPECT_EQ(failedCopy.exitCode, 1) << failedCopy.err;
  EXPECT_EQ(ReadFile(text), "old text");
  EXPECT_EQ(ReadFile(copy), "old copy");
  EXPECT_EQ(entries(), present);
  // Complete, the output takes the place of the old file.
  EXPECT_EQ(Export({log, "-o", text}).exitCode, 0);
  EXPECT_EQ(Count(ReadFile(text), "TYP 7="), 50);
  EXPECT_EQ(entries(), present);
}

TEST_F(ExportTest, DamagedPagesAreCountedAndTheRestExported) {
  const std::string log = WriteLog(400, 400);  // a few pages
  std::string bytes = ReadFile(log);
  ASSERT_GE(bytes.size(), 2128u + 2 * 32768u);
  // Break the entry chain of the first page (at 2128).
  for (std::size_t i = 64; i < 400; ++i) bytes[2128 + i] = static_cast<char>(0xFF);
  WriteFile(log, bytes);
  const Result r = Export({log, "--format", "oneline"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("passed over 1 damaged page"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("--- End of output ---"), std::string::npos);
}

#if KIVO_GUI_BUILT
TEST_F(ProcessTest, WindowProgramWithoutLanguageFileExits99) {
  const Result r = RunProgram({Alone("kivo")}, env);
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
  for (Process* p : {&first, &second}) {
    ::kill(p->pid, SIGKILL);
    Stop(*p);
  }
}
#endif

}  // namespace
}  // namespace kivo::testing
