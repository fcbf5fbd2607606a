// The log view on a canvas that records its text lines: the line estimate
// against the renderer, the scroll positions and moves of the log display
// with and without the display filter, paging through a long telegram, and
// the sweep and scroll modes of the online display.
#include "app/log_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <map>

#include "app/fake_platform.h"
#include "app/output_run.h"
#include "asdu/text_format.h"
#include "log/log_store_fixture.h"
#include "send/send_text_files.h"

namespace kivo {
namespace {

// Keeps the text drawn at each y, as the operator reads the screen.
class TextCanvas : public ViewCanvas {
 public:
  std::map<int, std::string> lines;
  int scrolls = 0;
  void Fill(int, int y, int, int height, std::uint32_t) override {
    lines.erase(lines.lower_bound(y), lines.lower_bound(y + height));
  }
  void Text(int, int y, std::string_view text, std::uint32_t, std::uint32_t, bool) override {
    std::string& line = lines[y];
    if (text.find_first_not_of(' ') != std::string_view::npos || line.empty()) line = text;
  }
  void ScrollUp(int top, int bottom, int dy) override {
    ++scrolls;
    std::map<int, std::string> moved;
    for (const auto& [y, text] : lines) {
      if (y >= top + dy && y < bottom) {
        moved[y - dy] = text;
      } else if (y < top || y >= bottom) {
        moved[y] = text;
      }
    }
    lines = std::move(moved);
  }
  std::vector<std::string> Text() const {
    std::vector<std::string> out;
    for (const auto& [y, text] : lines) out.push_back(text);
    return out;
  }
};

const std::string kPoll = "10 5B 01 5C 16";
// A measurand frame of type 9 with nine values (three element lines).
const std::string kMeasurands =
    "68 1A 1A 68 08 01 09 09 02 01 F4 90 00 08 00 10 00 18 00 20 00 28 00 30 00 38 00 40 00 48 "
    "00 00 16";

// An entry of a frame whose checksum is worked out (the "00" before the end).
TLogEntry Entry(const std::string& hex, std::uint8_t channel = 1) {
  return testing::Frame(testing::RepairChecksum(hex), 40, channel);
}
// A frame of 261 octets.
std::string BigFrame() {
  std::string big = "68 FF FF 68 08 01";
  for (int i = 0; i < 253; ++i) big += " 00";
  return big + " 09 16";
}

class LogViewTest : public testing::AppTest {
 protected:
  LogStore& log = instance.logStore;
  TextCanvas canvas;
  LogView view{instance, canvas};

  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    Start(false);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
    ViewGeometry g;
    g.lineHeight = 10;
    g.headingHeight = 12;
    g.bottom = 300;  // 24 lines available
    view.SetGeometry(g);
    instance.settings.onlineDisplay = 0;
  }
  // Fills the log with n polls, channel 1 or 2 as `channel` says.
  void Fill(
      int n, const std::function<int(int)>& channel = [](int) { return 1; }) {
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(log.Append(Entry(kPoll, static_cast<std::uint8_t>(channel(i)))));
    }
    ASSERT_TRUE(log.FlushLog());
    log.CloseReader();
    ASSERT_TRUE(log.OpenReader());
  }
  // The telegram number of the first entry painted (1 = the oldest).
  std::uint32_t First() const { return view.FirstPaintedSeqNo() - log.Index().firstSeqNo + 1; }
  // The telegram numbers on the screen from top to bottom: they rise when
  // no line was drawn over another.
  bool NumbersRise() const {
    long previous = 0;
    int seen = 0;
    for (const std::string& line : canvas.Text()) {
      char* end = nullptr;
      const long n = std::strtol(line.c_str(), &end, 10);
      if (end == line.c_str() || n <= 0 ||
          line.find(':') < static_cast<std::size_t>(end - line.c_str())) {
        continue;
      }
      if (n <= previous) return false;
      previous = n;
      ++seen;
    }
    return seen >= 2;
  }
  // Only channel 2 passes the display filter.
  void FilterChannel2() {
    instance.general.displayFilter.enabled = 1;
    log.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 2; };
  }
};

// The estimate places the end of the log and fills the online display; the
// element lines follow the type (three measurands to a line for type 9).
TEST_F(LogViewTest, TheLineEstimateFollowsKindFormatAndToggles) {
  TLogEntry event;
  event.frameKind = kFrameEvent;
  event.status = 52;
  const TLogEntry poll = Entry(kPoll);
  const TLogEntry measurands = Entry(kMeasurands);
  TLogEntry faulty = measurands;
  faulty.status = 20;
  struct Case {
    const TLogEntry& entry;
    LineEstimateSettings settings;
    int lines;
  };
  const Case cases[] = {
      {event, {3, true, true}, 1},        {poll, {3, true, true}, 2},
      {poll, {3, false, true}, 1},        {poll, {5, true, true}, 1},
      {measurands, {3, true, true}, 7},   {measurands, {3, false, false}, 5},
      {measurands, {4, true, true}, 6},   {measurands, {5, true, true}, 3},
      {measurands, {6, true, true}, 4},   {measurands, {6, false, true}, 3},
      {measurands, {7, false, false}, 1}, {faulty, {3, false, false}, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineEstimate(c.entry, c.settings), c.lines)
        << "format " << c.settings.format << " time " << c.settings.showTime << " link "
        << c.settings.showLink << " status " << int(c.entry.status);
  }
}

TEST_F(LogViewTest, TheThumbAndTheMovesWithAndWithoutTheDisplayFilter) {
  Fill(3000, [](int i) { return i < 2000 ? 1 : 1 + i % 2; });
  // The first drawing shows the end of the log.
  EXPECT_GE(view.Redraw(0, -1), 995);
  EXPECT_EQ(view.Redraw(0, 0), 0);
  EXPECT_EQ(First(), 1u);
  const int end = view.Redraw(0, 1000);
  EXPECT_GE(end, 995);
  EXPECT_EQ(canvas.Text().back(), T(1191));  // the end of the log is on the screen
  EXPECT_EQ(view.Redraw(0, 500), 500);
  EXPECT_EQ(First(), 1501u);
  EXPECT_EQ(view.Redraw(viewcode::kPageDown, -1), 501);
  EXPECT_EQ(First(), 1506u);
  EXPECT_EQ(view.Redraw(viewcode::kLineUp, -1), 501);
  EXPECT_EQ(First(), 1505u);
  view.Redraw(viewcode::kHome, -1);
  EXPECT_EQ(First(), 1u);
  EXPECT_TRUE(NumbersRise());

  // The filter hides the first 2000 and every other one after them: the
  // thumb still finds the entry by its place in the log.
  FilterChannel2();
  view.Redraw(viewcode::kHome, -1);
  EXPECT_EQ(First(), 2002u);  // the first that passes
  view.Redraw(0, 500);
  EXPECT_EQ(First(), 2002u);  // 1501 does not pass: on to the next that does
  view.Redraw(viewcode::kPageDown, -1);
  EXPECT_EQ(First(), 2012u);  // five entries that pass
  view.Redraw(viewcode::kShiftPageDown, -1);
  EXPECT_EQ(First(), 2112u);
  // 5,000 and more are counted in stored entries, passing or not.
  view.Redraw(viewcode::kHome, -1);
  view.Redraw(viewcode::kShiftCtrlPageUp, -1);
  EXPECT_EQ(First(), 2002u);  // nothing before the first
  Fill(6000, [](int i) { return 1 + i % 2; });
  view.Redraw(viewcode::kHome, -1);
  view.Redraw(viewcode::kShiftCtrlPageDown, -1);
  EXPECT_EQ(First(), 7002u);
  // Every painted entry passes the filter.
  for (const std::string& line : canvas.Text()) EXPECT_EQ(line.find("P1:"), std::string::npos);
}

TEST_F(LogViewTest, ALongTelegramIsPagedThroughBeforeTheNextOne) {
  instance.settings.displayFormat = 6;  // octets: 16 to a row
  const std::string big = BigFrame();
  ASSERT_TRUE(log.Append(Entry(big)));
  ASSERT_TRUE(log.Append(Entry(kPoll)));
  ASSERT_TRUE(log.FlushLog());
  ASSERT_TRUE(log.OpenReader());
  ViewGeometry g = view.Geometry();
  g.bottom = 150;  // 9 lines available
  view.SetGeometry(g);
  view.Redraw(0, -1);
  view.Redraw(viewcode::kHome, -1);
  EXPECT_TRUE(view.SingleEntryShown());
  const std::vector<std::string> firstPage = canvas.Text();
  std::vector<std::vector<std::string>> pages{firstPage};
  for (int i = 0; i < 10 && First() == 1; ++i) {
    view.Redraw(viewcode::kLineDown, -1);
    pages.push_back(canvas.Text());
  }
  // Several pages of the first telegram, each starting later, then the next.
  ASSERT_GE(pages.size(), 4u);
  EXPECT_EQ(First(), 2u);
  // Nine lines are available: a page of the octet form is 9 - 4 less the
  // link and the time line, 3 rows, and a line down moves on by one page
  // less one row.
  ASSERT_EQ(pages[1].size(), pages[0].size());
  const auto differ = std::mismatch(pages[0].begin(), pages[0].end(), pages[1].begin());
  ASSERT_LT(differ.first + 2, pages[0].end());
  EXPECT_EQ(*differ.second, *(differ.first + 2));
  EXPECT_NE(differ.first->find("1-16:"), std::string::npos);
  EXPECT_GT(view.Shift(), -1);
  // Back up: the last page of the first telegram again, then its first.
  view.Redraw(viewcode::kLineUp, -1);
  EXPECT_EQ(First(), 1u);
  for (int i = 0; i < 10 && view.Shift() > 0; ++i) view.Redraw(viewcode::kLineUp, -1);
  EXPECT_EQ(view.Shift(), 0);
  EXPECT_EQ(canvas.Text(), firstPage);
}

TEST_F(LogViewTest, TheOnlineDisplaySweepsOrScrolls) {
  instance.settings.onlineDisplay = 1;
  instance.settings.displayFormat = 6;
  const std::string big = BigFrame();

  // Sweep: a block of eight lines per entry, the marker line and at most
  // seven of the entry's lines.
  instance.settings.options[kOptionScrollingOnline] = 0;
  view.Redraw(0, -1);
  ASSERT_TRUE(log.Append(Entry(big)));
  EXPECT_TRUE(view.OnlinePaintTick());  // the repaint after the redraw
  EXPECT_EQ(view.LinesDrawn(), 1 + 7);
  EXPECT_EQ(view.Y(), view.Top() + 8 * 10);
  ASSERT_TRUE(log.Append(Entry(kPoll)));
  EXPECT_TRUE(view.OnlinePaintTick());
  EXPECT_EQ(view.Y(), view.Top() + 16 * 10);
  EXPECT_FALSE(view.OnlinePaintTick());  // nothing queued

  // Scroll: entries are appended below; when the screen is full the lines
  // move up and the newest entry is at the bottom.
  instance.settings.options[kOptionScrollingOnline] = 1;
  instance.settings.displayFormat = 5;
  view.Redraw(0, -1);
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(log.Append(Entry(kPoll, i % 2 ? 2 : 1)));
    view.OnlinePaintTick();
  }
  EXPECT_GT(canvas.scrolls, 0);
  EXPECT_LE(view.Y(), view.Geometry().bottom);
  const std::vector<std::string> lines = canvas.Text();
  EXPECT_EQ(lines.front().find(T(421 + 1)), 0u);  // the header stays
  // The newest telegram (the 42nd of the log) is the last line.
  EXPECT_NE(lines.back().find(" 42 "), std::string::npos) << lines.back();
  EXPECT_NE(lines[lines.size() - 2].find(" 41 "), std::string::npos);
}

// With -t2 each redraw reports its duration and the largest so far when it
// differs from the last one shown by more than a millisecond.
TEST_F(LogViewTest, TheDisplayTimingTraceOfT2) {
  Fill(20);
  double now = 0;
  std::vector<double> durations{7, 7.5, 3, 12};
  std::size_t next = 0;
  bool started = false;
  view.traceClock = [&] {
    if (!started) {
      started = true;
      return now;
    }
    started = false;
    return now += durations[next++ % durations.size()];
  };
  instance.app.switchT2 = true;
  std::vector<std::string> traces;
  for (int i = 0; i < 4; ++i) {
    view.Redraw(viewcode::kHome, -1);
    // The next line after a full page is the top one.
    std::string trace;
    for (const std::string& line : canvas.Text()) {
      if (line.rfind("Display: ", 0) == 0) trace = line;
    }
    traces.push_back(trace);
  }
  EXPECT_EQ(traces,
            (std::vector<std::string>{"Display: 7 7 ", "", "Display: 3 8 ", "Display: 12 12 "}));
}

// When the ring overwrites the page under the reader, the view goes to the
// end of the log instead of moving from a page that is gone.
TEST_F(LogViewTest, AnOverrunShowsTheEnd) {
  instance.general.logSize = 1;
  ASSERT_TRUE(log.ClearLog());
  Fill(30000);
  view.Redraw(0, -1);
  EXPECT_EQ(view.Redraw(viewcode::kHome, -1), 0);
  const std::uint32_t overruns = log.Index().overruns;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(log.Append(Entry(kPoll)));
  ASSERT_GT(log.Index().overruns, overruns);
  EXPECT_GE(view.Redraw(viewcode::kLineDown, -1), 990);
  EXPECT_EQ(canvas.Text().back(), T(1191));
  EXPECT_TRUE(NumbersRise());
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {

// The copy of the view holds the telegrams on the screen in the export
// form, which a send list takes as active rows of the same telegram.
TEST_F(LogViewTest, TheShownTelegramsAreCopiedAsRowsOfASendList) {
  ASSERT_TRUE(log.Append(Entry(kPoll)));
  ASSERT_TRUE(log.Append(Entry("68 0E 0E 68 08 01 01 81 01 01 80 10 02 00 00 00 00 05 00 16")));
  ASSERT_TRUE(log.Append(Entry(kMeasurands)));
  ASSERT_TRUE(log.FlushLog());
  log.CloseReader();
  ASSERT_TRUE(log.OpenReader());
  view.Redraw(viewcode::kHome, -1);
  ASSERT_EQ(view.ShownEntryCount(), 3u);
  const std::string text = view.ShownEntriesText();
  SendList list;
  // The poll is no telegram line; the measurands take two lines of the
  // export form, as in an exported file.
  EXPECT_EQ(PasteListRows(list, 1, text, SendSeparator(instance.texts)), 3) << text;
  const SendListRow& message = list.rows[0];
  EXPECT_EQ(std::tuple(message.active, message.typeId, message.cot, message.fun, message.inf,
                       message.data1, message.data2),
            std::tuple(1, 1, 1, 128, 16, 2u, 5u));
  EXPECT_EQ(std::tuple(list.rows[1].typeId, list.rows[1].fun, list.rows[1].inf),
            std::tuple(9, 244, 144));
}

}  // namespace
}  // namespace kivo
