// The output run over a log written by the store: text lines with page
// header, date lines and end line; a copy into a new log.
#include "app/output_run.h"

#include <gtest/gtest.h>

#include <clocale>

#include "app/fake_platform.h"
#include "app/startup.h"
#include "log/log_store.h"
#include "record/ft12.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class MemorySink : public LineSink {
 public:
  std::vector<std::string> lines;
  bool Line(std::string_view line) override {
    lines.emplace_back(line);
    return true;
  }
};

TLogEntry Poll(std::uint8_t channel = 2) {
  TLogEntry e;
  e.status = 40;
  e.frameKind = kFrameFixed;
  e.channel = channel;
  e.control = 0x5B;
  e.linkAddress = 1;
  const std::uint8_t frame[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
  e.SetFrame(frame);
  return e;
}

TLogEntry GeneralInterrogation() {
  std::vector<std::uint8_t> f = {0x68, 0x09, 0x09, 0x68, 0x53, 0x01, 0x07, 0x81,
                                 0x09, 0x01, 0xFF, 0x00, 0x12, 0x00, 0x16};
  f[13] = ft12::FrameChecksum(f);
  TLogEntry e;
  e.status = 40;
  e.frameKind = kFrameVariable;
  e.channel = 2;
  e.control = 0x53;
  e.linkAddress = 1;
  e.SetFrame(f);
  return e;
}

class OutputRunTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
  LogStore& log = instance.logStore;

  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
    ASSERT_TRUE(log.IsOpen());
  }
  RenderContext Context(DisplayFormat format) {
    RenderContext context = MakeRenderContext(instance, log.Index().firstSeqNo);
    context.format = format;
    return context;
  }
  std::vector<std::string> Text(DisplayFormat format, const OutputOptions& options = {}) {
    RenderContext context = Context(format);
    MemorySink sink;
    OutputResult result = RunTextOutput(log, context, options, sink);
    EXPECT_TRUE(result.ok || result.cancelled);
    return sink.lines;
  }
  std::string T(int n) { return instance.texts.Text(n); }
};

TEST_F(OutputRunTest, EmptyLogGivesThePageHeaderAndTheEndLineOnly) {
  std::vector<std::string> lines = Text(DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind(log.FileName().substr(0, 32), 0), 0u);
  EXPECT_NE(lines[0].find(T(428)), std::string::npos);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "  1");
  RenderContext context = Context(DisplayFormat::Log);
  const std::string header = DisplayHeaderText(context, false, false);
  EXPECT_EQ(lines[1], std::string(header.size() < 60 ? 60 - header.size() : 0, ' ') + header);
  EXPECT_NE(lines[1].find("format full"), std::string::npos);
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], T(1170));
}

TEST_F(OutputRunTest, EveryEntryIsFollowedByAnEmptyLine) {
  log.Append(Poll());
  log.Append(GeneralInterrogation());
  std::vector<std::string> lines = Text(DisplayFormat::Log);
  // Header (3 lines), the poll, an empty line, the telegram, an empty line, the end.
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines.back(), T(1170));
  EXPECT_EQ(lines[lines.size() - 2], "");
  int empty = 0;
  for (std::size_t i = 3; i < lines.size(); ++i) empty += lines[i].empty() ? 1 : 0;
  EXPECT_EQ(empty, 2);
  bool typeShown = false;
  for (const std::string& line : lines) typeShown |= line.find("TYP 7=") != std::string::npos;
  EXPECT_TRUE(typeShown);
}

TEST_F(OutputRunTest, CsvStartsWithTheTitlesAndKeepsEntriesTogether) {
  log.Append(Poll());
  log.Append(GeneralInterrogation());
  std::vector<std::string> lines = Text(DisplayFormat::Csv);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], T(1173));
  EXPECT_EQ(lines[1], "");
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) EXPECT_FALSE(lines[i].empty()) << i;
  EXPECT_EQ(lines.back(), T(1170));
}

TEST_F(OutputRunTest, EntriesRefusedByTheDisplayFilterAreLeftOut) {
  log.Append(Poll(1));
  log.Append(Poll(2));
  log.Append(Poll(1));
  OutputOptions options;
  options.displayFilter = [](const TLogEntry& e) { return e.channel == 2; };
  std::vector<std::string> all = Text(DisplayFormat::OneLine);
  std::vector<std::string> filtered = Text(DisplayFormat::OneLine, options);
  EXPECT_EQ(all.size() - filtered.size(), 4u);  // two entries of one line and an empty line each
}

TEST_F(OutputRunTest, NewDayGetsADateLine) {
  log.Append(Poll());
  fake.clock.Advance(24ull * 3600 * 1000);
  instance.timeBase.Synchronise();
  log.Append(Poll());
  std::vector<std::string> lines = Text(DisplayFormat::OneLine);
  int dateLines = 0;
  for (const std::string& line : lines) dateLines += line == "01/06/26" ? 1 : 0;
  EXPECT_EQ(dateLines, 1);
  EXPECT_NE(lines[0].find("01/05/26"), std::string::npos);
}

TEST_F(OutputRunTest, CancelEndsWithTheCancelLine) {
  for (int i = 0; i < 350; ++i) log.Append(Poll());
  OutputOptions options;
  std::vector<int> percents;
  options.progress = [&](int percent) {
    percents.push_back(percent);
    return percents.size() == 2;
  };
  std::vector<std::string> lines = Text(DisplayFormat::OneLine, options);
  EXPECT_EQ(percents, (std::vector<int>{0, 29}));
  EXPECT_EQ(lines.back(), T(1171));
}

TEST_F(OutputRunTest, CopyIntoANewLogRenumbersFromOneAndKeepsTheTimes) {
  log.Append(Poll());  // dropped by the filter below
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    fake.clock.Advance(1000);
    log.Append(GeneralInterrogation());
  }
  OutputOptions options;
  options.displayFilter = [](const TLogEntry& e) { return e.frameKind == kFrameVariable; };
  const std::string copy = fake.scratch.path() + "copy.kvl";
  OutputResult result = RunLogOutput(instance, log, copy, options);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.entries, 5u);

  log.OpenReader();
  log.SeekPage(log.Index().oldestPage, false);
  log.StepForward();  // past the poll
  for (int i = 0; i < 5; ++i) {
    times.push_back(log.CurrentEntry().timeStamp);
    log.StepForward();
  }
  log.CloseReader();

  bool failed = false;
  LogStore copied(LogStoreContext{fake.clock, instance.timeBase, instance.general,
                                  instance.ports[0].params, instance.ports[1].params, failed});
  ASSERT_TRUE(copied.OpenLog(copy, false, LogOpenMode::ReadOnly));
  EXPECT_EQ(copied.Index().firstSeqNo, 1u);
  EXPECT_EQ(copied.Index().lastSeqNo, 5u);
  ASSERT_TRUE(copied.OpenReader());
  ASSERT_TRUE(copied.SeekPage(copied.Index().oldestPage, false));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(copied.CurrentEntry().seqNo, static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(copied.CurrentEntry().timeStamp, times[static_cast<std::size_t>(i)]);
    EXPECT_EQ(copied.CurrentEntry().frameKind, kFrameVariable);
    if (i < 4) {
      EXPECT_TRUE(copied.StepForward());
    }
  }
  EXPECT_FALSE(copied.StepForward());
}

TEST_F(OutputRunTest, CopyIntoASmallerLogDropsTheOldestPages) {
  instance.general.logSize = 2;  // 63 pages
  ASSERT_TRUE(log.ClearLog());
  TLogEntry big = GeneralInterrogation();
  std::vector<std::uint8_t> octets(261, 0x55);
  big.SetFrame(octets);
  big.frameKind = kFrameOther;
  for (int i = 0; i < 5000; ++i) log.Append(big);  // about 45 pages
  instance.general.logSize = 1;                    // the copy gets 32 pages
  const std::string copy = fake.scratch.path() + "small.kvl";
  OutputResult result = RunLogOutput(instance, log, copy, {});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.entries, 5000u);
  bool failed = false;
  LogStore copied(LogStoreContext{fake.clock, instance.timeBase, instance.general,
                                  instance.ports[0].params, instance.ports[1].params, failed});
  ASSERT_TRUE(copied.OpenLog(copy, false, LogOpenMode::ReadOnly));
  EXPECT_EQ(copied.Index().pageCount, 32u);
  EXPECT_EQ(copied.Index().lastSeqNo, 5000u);
  EXPECT_GT(copied.Index().firstSeqNo, 1u);
  EXPECT_EQ(copied.Index().oldestPage, (copied.Index().currentPage + 1) % 32);
}

}  // namespace
}  // namespace kivo
