// The output run over a log written by the store: text lines with page
// header, date lines and end line; a copy into a new log.
#include "app/output_run.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "app/fake_platform.h"
#include "log/log_store_fixture.h"

namespace kivo {
namespace {

class MemorySink : public LineSink {
 public:
  std::vector<std::string> lines;
  bool Line(std::string_view line) override {
    lines.emplace_back(line);
    return true;
  }
};

const std::string kPoll = "10 5B 01 5C 16";
const std::string kInterrogation = "68 09 09 68 53 01 07 81 09 01 FF 00 12 F7 16";
TLogEntry Frame(const std::string& hex, std::uint8_t channel = 2) {
  return testing::Frame(hex, 40, channel);
}

// The entries of a log from the oldest on.
std::vector<TLogEntry> Entries(LogStore& log) {
  std::vector<TLogEntry> entries;
  log.OpenReader();
  for (bool more = log.SeekPage(log.Index().oldestPage, false); more; more = log.StepForward()) {
    entries.push_back(log.CurrentEntry());
  }
  log.CloseReader();
  return entries;
}

class OutputRunTest : public testing::AppTest {
 protected:
  LogStore& log = instance.logStore;
  TLogIndex copiedIndex;

  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    Start(false);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
  }
  std::vector<std::string> Text(DisplayFormat format, const OutputOptions& options = {}) {
    RenderContext context = MakeRenderContext(instance, log.Index().firstSeqNo);
    context.format = format;
    MemorySink sink;
    OutputResult result = RunTextOutput(log, context, options, sink);
    EXPECT_TRUE(result.ok || result.cancelled);
    return sink.lines;
  }
  std::vector<TLogEntry> Copy(const OutputOptions& options, std::uint32_t entries) {
    const std::string copy = fake.scratch.path() + "copy.kvl";
    const OutputResult result = RunLogOutput(instance, log, copy, options);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.entries, entries);
    testing::StoreRig copied;
    EXPECT_TRUE(copied.store.OpenLog(copy, false, LogOpenMode::ReadOnly));
    copiedIndex = copied.store.Index();
    return Entries(copied.store);
  }
};

TEST_F(OutputRunTest, PageHeaderEntriesWithAnEmptyLineEachAndTheEndLine) {
  const std::string header = DisplayHeaderText(MakeRenderContext(instance, 1), false, false);
  std::vector<std::string> lines = Text(DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind(log.FileName().substr(0, 32), 0), 0u);
  EXPECT_NE(lines[0].find(T(428)), std::string::npos);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "  1");
  EXPECT_EQ(lines[1], std::string(header.size() < 60 ? 60 - header.size() : 0, ' ') + header);
  EXPECT_NE(lines[1].find("format full"), std::string::npos);
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], T(1170));

  log.Append(Frame(kPoll));
  log.Append(Frame(kInterrogation));
  lines = Text(DisplayFormat::Log);
  // Header (3 lines), the poll, an empty line, the telegram, an empty line, the end.
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines.back(), T(1170));
  EXPECT_EQ(std::count(lines.begin() + 3, lines.end(), ""), 2);
  EXPECT_EQ(lines[lines.size() - 2], "");
  // CSV starts with the titles and keeps entries together.
  lines = Text(DisplayFormat::Csv);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], T(1173));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 1);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines.back(), T(1170));
}

// The day of a time stamp decides where a date line goes: rounded down, also
// before the epoch; none for one that is no number, and one for all beyond
// any day.
TEST(DayOfTest, DaysRoundDownAndStampsBeyondAnyDayShareOne) {
  EXPECT_EQ(DayOf(46362.999), 46362);
  EXPECT_EQ(DayOf(46362.0), 46362);
  EXPECT_EQ(DayOf(-0.25), -1);
  EXPECT_EQ(DayOf(-2.0), -2);
  EXPECT_EQ(DayOf(std::nan("")), 0);
  EXPECT_EQ(DayOf(1e300), DayOf(-1e300));
  EXPECT_NE(DayOf(1e300), DayOf(0.5));
}

TEST_F(OutputRunTest, FilterDateLinesAndCancel) {
  log.Append(Frame(kPoll, 1));
  log.Append(Frame(kPoll, 2));
  fake.clock.Advance(24ull * 3600 * 1000);
  instance.timeBase.Synchronise();
  log.Append(Frame(kPoll, 1));
  OutputOptions options;
  options.displayFilter = [](const TLogEntry& e) { return e.channel == 2; };
  const std::vector<std::string> all = Text(DisplayFormat::OneLine);
  EXPECT_EQ(all.size() - Text(DisplayFormat::OneLine, options).size(), 5u);  // and the date line
  EXPECT_EQ(std::count(all.begin(), all.end(), "01/06/26"), 1);
  EXPECT_NE(all[0].find("01/05/26"), std::string::npos);

  for (int i = 0; i < 347; ++i) log.Append(Frame(kPoll));
  std::vector<int> percents;
  options.displayFilter = nullptr;
  options.progress = [&](int percent) {
    percents.push_back(percent);
    return percents.size() == 2;
  };
  EXPECT_EQ(Text(DisplayFormat::OneLine, options).back(), T(1171));
  EXPECT_EQ(percents, (std::vector<int>{0, 29}));
}

TEST_F(OutputRunTest, CopyIntoANewLogRenumbersFromOneKeepsTheTimesAndFitsItsSize) {
  log.Append(Frame(kPoll));  // left out by the filter below
  for (int i = 0; i < 5; ++i) {
    fake.clock.Advance(1000);
    log.Append(Frame(kInterrogation));
  }
  OutputOptions options;
  options.displayFilter = [](const TLogEntry& e) { return e.frameKind == kFrameVariable; };
  const std::vector<TLogEntry> original = Entries(log);
  const std::vector<TLogEntry> copied = Copy(options, 5);
  EXPECT_EQ(copiedIndex.lastSeqNo, 5u);
  ASSERT_EQ(copied.size(), 5u);
  for (std::uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(copied[i].seqNo, i + 1);
    EXPECT_EQ(copied[i].timeStamp, original[i + 1].timeStamp);
    EXPECT_EQ(copied[i].frameKind, kFrameVariable);
  }

  // A smaller log drops the oldest pages.
  instance.general.logSize = 2;  // 63 pages
  ASSERT_TRUE(log.ClearLog());
  TLogEntry big = Frame(kInterrogation);
  big.SetFrame(std::vector<std::uint8_t>(261, 0x55));
  for (int i = 0; i < 5000; ++i) log.Append(big);  // about 45 pages
  instance.general.logSize = 1;                    // the copy gets 32 pages
  // 111 entries fill a page: the copy keeps the page of 4,996 to 5,000 and 31 before it.
  EXPECT_EQ(Copy({}, 5000).front().seqNo, 4996 - 31 * 111u);
  EXPECT_EQ((std::array{copiedIndex.pageCount, copiedIndex.firstSeqNo, copiedIndex.lastSeqNo}),
            (std::array{32u, 4996 - 31 * 111u, 5000u}));
}

}  // namespace
}  // namespace kivo
