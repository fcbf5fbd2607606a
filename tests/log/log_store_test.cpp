// The log store as the link engine, the views and the export see it: entries
// appended, the bytes that reach the file, and entries read back; below it
// the walk along a page's entry chain and the index rebuilt from the pages of
// an unflushed log.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <set>

#include "log/log_store_fixture.h"
#include "platform/clock.h"

namespace kivo {
namespace {

using testing::StoreRig;
using testing::Telegram;
using Words = std::vector<std::uint32_t>;
using Ring = std::array<std::uint32_t, 5>;

constexpr int kPerPage = 527;  // entries of 30 frame octets (62 stored)
// Header and index words: UsedBytes, HeaderSize, PageCount, UsedPages, LastSeqNo.
constexpr std::uint64_t kUsedBytes = 4, kHeaderSize = 8, kPageCount = 2004, kUsedPages = 2016,
                        kLastSeqNo = 2024;

// A new log of 32 pages, open.
class LogStoreTest : public ::testing::Test, public StoreRig {
 protected:
  LogStoreTest() {
    general.logSize = 1;
    store.CreateLog(Path());
  }
  // The 32-bit words of a log file at the given offsets.
  Words WordsAt(std::initializer_list<std::uint64_t> offsets,
                const std::string& name = "KivoLog.kvl") const {
    const std::string bytes = Bytes(name);
    Words words;
    for (std::uint64_t at : offsets) words.push_back(U32At(bytes, at));
    return words;
  }
  std::uint32_t Seq() const { return store.CurrentEntry().seqNo; }
  // The index's ring: oldest and current page, first and last number, overruns.
  Ring RingOf() const {
    const TLogIndex& i = store.Index();
    return {i.oldestPage, i.currentPage, i.firstSeqNo, i.lastSeqNo, i.overruns};
  }
  // Three full pages and ten entries on the fourth, closed.
  std::string ThreePageLog() {
    Fill(3 * kPerPage + 10);
    store.CloseLog();
    return Bytes();
  }
  // Opens a copy of the log holding `bytes` read only; the number of entries
  // from the oldest on, as the export walks them, and of damaged pages.
  std::pair<std::size_t, std::size_t> Walk(const std::string& bytes) {
    testing::WriteFile(Path("walk.kvl"), bytes);
    EXPECT_TRUE(store.OpenLog(Path("walk.kvl"), false, LogOpenMode::ReadOnly));
    store.OpenReader();
    store.SeekPage(store.Index().oldestPage, false);
    std::size_t entries = store.CurrentEntry().length != 0 ? 1 : 0;
    while (store.StepForward()) ++entries;
    const std::size_t damaged = store.DamagedPages();
    store.CloseLog();
    return {entries, damaged};
  }
};

TEST_F(LogStoreTest, NewLogThenFlushedLogOnDisk) {
  port2.baud = 4800;
  ASSERT_TRUE(store.CreateLog(Path()));
  EXPECT_EQ(Bytes().size(), 2128u);
  EXPECT_EQ(WordsAt({0, kHeaderSize, 1160 + 16, kPageCount}),
            (Words{0x4B000103, 2128, 4800, 32}));           // not flushed yet
  EXPECT_EQ(PageOffset(PagesForLogSize(10)), 10'258'512u);  // the default log's file size
  EXPECT_EQ(PagesForLogSize(5000), 62'501u);                // cut to the largest setting
  clock.Advance(1500);
  Fill(3);
  ASSERT_TRUE(store.FlushLog());
  EXPECT_EQ(Bytes().size(), 2128u + 32768u);
  EXPECT_EQ(WordsAt({kUsedBytes, kHeaderSize, kUsedPages, kLastSeqNo}),
            (Words{2128 + 32768, 2000, 1, 3}));
  // The page's LastOffset and EntryCount, PrevLength and Length of the first
  // two entries, the SeqNo of the second, its first frame octet.
  const std::uint64_t page = PageOffset(0);
  EXPECT_EQ(WordsAt({page + 4, page + 32, page + 64, page + 64 + 62, page + 64 + 62 + 16}),
            (Words{2 * 62, 3, 62 << 16, 62 | 62 << 16, 2}));
  EXPECT_EQ(Bytes()[page + 64 + 30], 0x68);
  // Stamped with today's date and the time base.
  store.OpenReader();
  const double stamp = DayNumber(2026, 1, 5) + timeBase.TimeOfDay();
  EXPECT_DOUBLE_EQ(store.CurrentEntry().timeStamp, stamp);
  EXPECT_DOUBLE_EQ(store.Index().firstTime, stamp);
}

TEST_F(LogStoreTest, ContinuedLogKeepsItsNumbersPageCountAndSizedSettings) {
  port1.baud = 1200;
  port2.baud = 2400;
  store.CreateLog(Path());
  Fill(kPerPage + 5);
  ASSERT_TRUE(store.CloseLog());
  std::string bytes = Bytes();
  bytes[1160] = 0;  // port 2 block without its size word
  testing::WriteFile(Path(), bytes);
  general.logSize = 10;
  port1.baud = port2.baud = 9600;
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(store.Index().pageCount, 32u);
  EXPECT_EQ((Words{general.logSize, port1.baud, port2.baud}), (Words{1, 1200, 9600}));
  Fill(1);
  store.OpenReader();
  EXPECT_EQ(Seq(), kPerPage + 6u);
  EXPECT_EQ(store.CurrentEntry().prevLength, 62u);
}

TEST_F(LogStoreTest, OldLogStartedAnewOnlyWhenAsked) {
  Fill(2);
  store.CloseLog();
  clock.Advance(86'400'000 - 60'000);  // yesterday's log goes on
  ASSERT_TRUE(store.OpenLog(Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(store.Index().lastSeqNo, 2u);
  clock.Advance(86'400'000);  // now from the day before yesterday
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(store.Index().lastSeqNo, 2u);
  ASSERT_TRUE(store.OpenLog(Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(store.Index().lastSeqNo, 0u);
  EXPECT_EQ(Bytes().size(), 2128u);
}

TEST_F(LogStoreTest, UnusableFileReplacedOnlyInTheStandardMode) {
  EXPECT_FALSE(store.CreateLog(Path("missing/KivoLog.kvl")));
  EXPECT_TRUE(writeFailed);
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_FALSE(writeFailed);
  Fill(4);
  const std::string foreign = Path("notes.kvl");
  testing::WriteFile(foreign, std::string(3000, 'x'));
  EXPECT_FALSE(store.OpenLog(foreign, false, LogOpenMode::KeepUnusable));
  EXPECT_FALSE(store.OpenLog(foreign, false, LogOpenMode::ReadOnly));
  EXPECT_EQ(testing::ReadFile(foreign), std::string(3000, 'x'));
  EXPECT_TRUE(store.Append(Telegram(5)));  // still the current log
  EXPECT_EQ(store.FileName(), Path());
  ASSERT_TRUE(store.OpenLog(foreign, false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(testing::ReadFile(foreign).size(), 2128u);
  EXPECT_EQ(WordsAt({kHeaderSize, kLastSeqNo}), (Words{2000, 5}));  // closed properly

  // Index fields out of range: PageCount, OldestPage, CurrentPage, no pages.
  const std::string good = Bytes();
  for (std::size_t at : {2006u, 2010u, 2014u, 2004u}) {
    std::string bytes = good;
    bytes[at] = at == 2004 ? 0 : 0x7F;
    bytes[2005] = at == 2004 ? 0 : bytes[2005];
    testing::WriteFile(Path("bad.kvl"), bytes);
    EXPECT_FALSE(store.OpenLog(Path("bad.kvl"), false, LogOpenMode::ReadOnly)) << at;
  }
}

TEST(LogStorePaging, EntryReachingTheLastOctetGoesToTheNextPage) {
  for (const bool fits : {true, false}) {
    StoreRig rig;
    rig.store.CreateLog(rig.Path());
    rig.Fill(110, 261);              // 110 × 294 octets: up to offset 32,404
    rig.store.Append(Telegram(38));  // 70 octets: up to 32,474
    // 292 octets end at 32,766 and fit; 294 would reach 32,767.
    rig.store.Append(Telegram(fits ? 259 : 261));
    ASSERT_TRUE(rig.store.FlushLog());
    EXPECT_EQ(rig.store.Index().currentPage, fits ? 0u : 1u);
    const std::string bytes = rig.Bytes();
    EXPECT_EQ(rig.U32At(bytes, PageOffset(0) + 32), fits ? 112u : 111u);  // EntryCount
    if (!fits) {
      EXPECT_EQ(rig.U32At(bytes, PageOffset(1) + 64), 294u << 16);  // a new chain
    }
  }
}

TEST_F(LogStoreTest, FullRingDropsTheOldestPageAndReadsFromIt) {
  Fill(kPerPage * 31 + 3);
  store.OpenReader();
  store.SeekPage(0, false);
  Fill(kPerPage * 3 - 2);  // 34 full pages; the next entry opens the 35th, page 2
  // The dropped page ended at 3 × 527; page 0 under the reader was overwritten.
  EXPECT_EQ(RingOf(), (Ring{3, 2, 3 * kPerPage + 1, 34 * kPerPage + 1, 1}));
  EXPECT_EQ(Seq(), 1u);  // from the reader's own copy
  store.CloseReader();
  store.OpenReader();
  EXPECT_EQ(store.Move(-1'000'000), -kPerPage * 31);
  EXPECT_EQ(store.ReadPage(), 3u);
  std::uint32_t expected = store.Index().firstSeqNo;
  ASSERT_EQ(Seq(), expected);
  while (store.StepForward()) ASSERT_EQ(Seq(), ++expected);
  EXPECT_EQ(expected, store.Index().lastSeqNo);
}

TEST_F(LogStoreTest, LogFilterLeavesNoGapAndCountersFollowTheStatus) {
  Words offered;
  store.hooks.logFilter = [&](const TLogEntry& e) {
    offered.push_back(e.seqNo);
    return e.channel != 2;
  };
  std::vector<int> changed;
  store.hooks.countersChanged = [&](int channel) { changed.push_back(channel); };
  store.Append(Telegram(5, 1, 40));
  store.Append(Telegram(5, 2, 12));               // dropped: not stored, counted or queued
  store.Append(Telegram(5, 1, 12));               // error
  store.Append(Telegram(5, 1, 19));               // below 40, not an error
  store.Append(Telegram(5, 3, 50));               // not counted
  store.Append(Telegram(0, 3, 33, kFrameEvent));  // events are not counted
  store.Append(Telegram(5, 4, 0));
  EXPECT_EQ(offered, (Words{1, 2, 2, 3, 4, 5, 6}));
  EXPECT_EQ(store.Index().lastSeqNo, 6u);
  EXPECT_EQ(store.Queue().Count(), 6u);
  Words counted;  // telegrams and errors per channel
  for (const ChannelCounters& c : store.Counters())
    counted.insert(counted.end(), {c.telegrams, c.errors});
  EXPECT_EQ(counted, (Words{3, 1, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(changed, (std::vector<int>{1, 1, 1, 4}));
}

TEST_F(LogStoreTest, QueueOverflowDropsFourAndHoldsBackFixedFramesUntilCaughtUp) {
  OnlineQueue& queue = store.Queue();
  Fill(16);  // the 16th finds the queue full
  EXPECT_TRUE(queue.overflow);
  EXPECT_EQ(queue.Count(), 12u);
  TLogEntry taken;
  ASSERT_TRUE(queue.Take(taken));
  EXPECT_EQ(taken.seqNo, 5u);                     // 1 to 4 were dropped
  store.Append(Telegram(5, 1, 40, kFrameFixed));  // held back
  store.Append(Telegram(9));
  EXPECT_EQ((Words{queue.Newest(0).seqNo, queue.Newest(1).seqNo}), (Words{18, 16}));
  while (queue.Count() > 1) queue.Take(taken);
  EXPECT_FALSE(queue.overflow);  // caught up
  store.Append(Telegram(5, 1, 40, kFrameFixed));
  EXPECT_EQ(queue.Newest(0).seqNo, 19u);
  store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  store.Append(Telegram(5, 1));
  EXPECT_EQ(queue.Newest(0).seqNo, 19u);
  store.ResetQueue();
  EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(LogStoreTest, ReaderReadsTheWritePageFromMemoryAndStopsAtTheEnds) {
  store.OpenReader();
  EXPECT_EQ(store.CurrentEntry().length, 0u);  // an empty log: no entry
  EXPECT_EQ(store.Move(-1), 0);
  store.CloseReader();
  Fill(kPerPage + 4);
  EXPECT_EQ(Bytes().size(), PageOffset(1));  // page 1 is not in the file
  store.OpenReader();
  EXPECT_EQ(store.ReadPage(), 1u);
  EXPECT_EQ(Seq(), kPerPage + 4u);
  Fill(1);
  store.SeekPage(1, true);
  EXPECT_EQ(Seq(), kPerPage + 5u);

  store.CloseReader();
  Fill(2 * kPerPage - 5);
  store.OpenReader();
  EXPECT_EQ(store.EntryCount(), 3u * kPerPage);
  EXPECT_FALSE(store.StepForward());  // at the newest entry: the cursor stays
  EXPECT_EQ(Seq(), 3u * kPerPage);
  ASSERT_TRUE(store.SeekPage(1, false));
  EXPECT_EQ(Seq(), kPerPage + 1u);
  EXPECT_TRUE(store.StepBack());
  EXPECT_EQ(store.ReadPage(), 0u);
  EXPECT_EQ(store.Move(10), 10);
  EXPECT_EQ(Seq(), kPerPage + 10u);
  EXPECT_EQ(store.Move(-100000), -(kPerPage + 9));
  EXPECT_FALSE(store.StepBack());
  EXPECT_EQ(store.Move(5000), 3 * kPerPage - 1);
  EXPECT_FALSE(store.SeekPage(32, false));
}

TEST_F(LogStoreTest, EachEntryReadsAsWrittenWhateverWasReadBefore) {
  // Short after long and long after short, on the write page and in the file.
  const std::uint16_t sizes[] = {200, 5, 261, 0, 30};
  for (int round = 0; round < 2; ++round) {
    for (std::uint16_t size : sizes) store.Append(Telegram(size));
    if (round == 0) Fill(kPerPage);  // the first five go to the file
  }
  store.OpenReader();
  ASSERT_TRUE(store.SeekPage(0, false));
  for (std::uint16_t size : sizes) {
    EXPECT_EQ(store.CurrentEntry().frame, Telegram(size).frame) << size;
    store.StepForward();
  }
  ASSERT_TRUE(store.SeekPage(1, true));
  for (int i = 4; i >= 0; --i) {
    EXPECT_EQ(store.CurrentEntry().frame, Telegram(sizes[i]).frame) << sizes[i];
    store.StepBack();
  }
}

TEST_F(LogStoreTest, LargeMovesLandWhereSingleStepsLand) {
  Fill(20'000, 0);  // 32 octets each, 1,021 per page
  store.OpenReader();
  store.Move(-30'000);
  // 5,103 and -5,102 end one entry short of a whole page after the pages they skip.
  for (int n : {5103, -5102, 5000, 7321, 1021, 6000, -5000, -8000, -6000}) {
    const std::uint32_t before = Seq();
    ASSERT_EQ(store.Move(n), n);
    EXPECT_EQ(Seq(), before + static_cast<std::uint32_t>(n)) << n;
  }
  EXPECT_EQ(store.Move(30'000), static_cast<int>(20'000 - Seq()));
}

// The reader keeps what the page headers told it; the pages the ring writes
// anew under it are looked up again.
TEST_F(LogStoreTest, MovesStayRightWhileTheRingTurnsUnderTheReader) {
  Fill(kPerPage * 31 + 3);
  store.OpenReader();
  store.Move(-1'000'000);
  store.Move(1'000'000);
  Fill(kPerPage * 12);
  store.SeekPage(store.Index().oldestPage, false);
  ASSERT_EQ(Seq(), store.Index().firstSeqNo);
  for (int n : {6000, 5000, 9000, -5500, -7000, 6100}) {
    const std::uint32_t before = Seq();
    const int moved = store.Move(n);
    EXPECT_EQ(static_cast<int>(Seq() - before), moved) << n;
  }
}

TEST_F(LogStoreTest, FilteredMovesCountOnlyPassingEntries) {
  // Channel 3 on every tenth entry from 15 on, 1,200 entries over three pages.
  for (int i = 1; i <= 1200; ++i) store.Append(Telegram(30, (i >= 15 && i % 10 == 5) ? 3 : 1));
  store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  store.OpenReader();
  // Each move, and where it ends: across the page boundary at 1,054, then
  // nothing passes behind 15.
  for (const auto& [n, moved, at] : {std::tuple{-61, -61, 595u}, {3, 3, 625u}, {-1000, -61, 15u}}) {
    EXPECT_EQ(store.Move(n), moved);
    EXPECT_EQ(Seq(), at);
  }
  store.SeekPage(0, false);  // on entry 1, which does not pass
  EXPECT_EQ(store.Move(-1), 0);
  EXPECT_EQ(Seq(), 15u);              // the nearest passing entry ahead
  EXPECT_EQ(store.Move(-5000), -14);  // 5,000 and more ignore the filter
}

TEST_F(LogStoreTest, DamagedPagesReadUpToTheirDamageAndAreCounted) {
  using Read = std::pair<std::size_t, std::size_t>;  // entries, damaged pages
  const std::string good = ThreePageLog();
  EXPECT_EQ(Walk(good), (Read{3 * kPerPage + 10, 0}));
  // Damage in page 1 (the kinds of damage are the page scan's): LastOffset
  // beyond the page loses nothing, Length 0 in the sixth entry the rest.
  const std::size_t entry6 = PageOffset(1) + 64 + 5 * 62;
  for (const auto& [at, value, lost] :
       {std::tuple{PageOffset(1) + 5, 0xF0, 0}, {entry6 + 2, 0, kPerPage - 5}}) {
    std::string bytes = good;
    bytes[at] = static_cast<char>(value);
    EXPECT_EQ(Walk(bytes), (Read{3 * kPerPage + 10 - lost, 1})) << at;
  }
  // Cut in page 2: pages 0 and 1 read, pages 2 and 3 count as damaged.
  EXPECT_EQ(Walk(good.substr(0, PageOffset(2) + 1000)), (Read{2 * kPerPage, 2}));

  // Continuing a damaged write page keeps its intact entries.
  std::string bytes = good;
  bytes[PageOffset(3) + 64 + 4 * 62 + 2] = 1;  // entries 5 to 10 of page 3 are lost
  testing::WriteFile(Path(), bytes);
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::KeepUnusable));
  Fill(1);
  store.OpenReader();
  EXPECT_EQ(store.DamagedPages(), 1u);  // the export still reports it
  EXPECT_EQ(store.CurrentEntry().prevLength, 62u);
  ASSERT_TRUE(store.StepBack());
  EXPECT_EQ(Seq(), 3u * kPerPage + 4);
}

TEST_F(LogStoreTest, NeverFlushedLogIsContinuedFromItsIntactPages) {
  for (const bool torn : {false, true}) {
    const std::string path = Path(torn ? "torn.kvl" : "whole.kvl");
    {
      StoreRig writer;  // ends without a flush: HeaderSize 2,128 stays
      writer.store.CreateLog(path);
      writer.Fill(3 * kPerPage + 7);
    }
    std::string bytes = testing::ReadFile(path);
    ASSERT_EQ(U32At(bytes, kHeaderSize), 2128u);
    // The last page write was cut after 4,096 octets.
    if (torn) std::fill(bytes.begin() + PageOffset(2) + 4096, bytes.end(), 0);
    testing::WriteFile(path, bytes);
    ASSERT_TRUE(store.OpenLog(path, false, LogOpenMode::ReplaceUnusable));
    EXPECT_TRUE(store.Recovered());
    const std::uint32_t pages = torn ? 2 : 3;
    EXPECT_EQ(RingOf(), (Ring{0, pages, 1, pages * kPerPage, 0}));
    store.OpenReader();  // on the empty write page
    EXPECT_EQ(store.Move(-100'000), -static_cast<int>(pages) * kPerPage);
    EXPECT_EQ(store.DamagedPages(), 0u);
    store.CloseReader();
    Fill(1);
    store.FlushLog();
    EXPECT_EQ(U32At(testing::ReadFile(path), kHeaderSize), 2000u);
    store.OpenReader();
    EXPECT_EQ(Seq(), pages * kPerPage + 1);
  }
}

// While a writer appends, its page reaches the file at the latest a second
// after the entries: a reader beside it (the export) sees them, the header
// stays unflushed, and a writer that ends without a flush (killed) leaves
// them all to the next start.
TEST_F(LogStoreTest, WriteBehindPutsThePartialPageInTheFileWithinASecond) {
  const std::string path = Path("live.kvl");
  // The last entry an export of the file shows now; the entries before it
  // run unbroken from 1 and no page is damaged.
  auto exported = [&] {
    StoreRig reader;
    EXPECT_TRUE(reader.store.OpenLog(path, false, LogOpenMode::ReadOnly));
    reader.store.OpenReader();
    reader.store.Move(-100'000);
    std::uint32_t seqNo = reader.store.CurrentEntry().seqNo;
    EXPECT_EQ(seqNo, 1u);
    while (reader.store.StepForward()) EXPECT_EQ(reader.store.CurrentEntry().seqNo, ++seqNo);
    EXPECT_EQ(reader.store.DamagedPages(), 0u);
    return seqNo;
  };
  struct Step {
    int append;
    std::uint32_t advanceMs;
    std::uint32_t shown;       // by the export
    std::uint32_t indexSeqNo;  // LastSeqNo of the index in the file
  };
  constexpr Step kSteps[] = {
      {5, 0, 5, 5},                                     // the first entries after a pause: at once
      {3, 899, 5, 5},                                   // not before the deadline
      {0, 1, 8, 8},                                     // at it
      {0, 5000, 8, 8},                                  // nothing new
      {kPerPage, 900, 8 + kPerPage, 8 + kPerPage},      // the full page, then the next one
      {2 * kPerPage, 100, 3 * kPerPage, 8 + kPerPage},  // full pages only before the deadline
      {0, 800, 8 + 3 * kPerPage, 8 + 3 * kPerPage},     // and the rest at it
  };
  {
    StoreRig writer;
    writer.general.logSize = 1;
    ASSERT_TRUE(writer.store.CreateLog(path));
    writer.clock.Advance(LogStore::kWriteBehindMs);
    for (const Step& step : kSteps) {
      writer.Fill(step.append);
      writer.clock.Advance(step.advanceMs);
      writer.store.WriteBehind();
      EXPECT_EQ(exported(), step.shown) << step.append << " " << step.advanceMs;
      EXPECT_EQ(WordsAt({kHeaderSize, kLastSeqNo}, "live.kvl"), (Words{2128, step.indexSeqNo}));
    }
    writer.Fill(3);  // lost with the writer
  }
  ASSERT_TRUE(store.OpenLog(path, false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(store.Recovered());
  EXPECT_EQ(store.Index().lastSeqNo, 8u + 3 * kPerPage);
  Fill(1);
  store.FlushLog();
  EXPECT_EQ(exported(), 9u + 3 * kPerPage);
}

TEST_F(LogStoreTest, SaveAsReadOnlyClearAndDailyChange) {
  Fill(kPerPage + 3);
  store.CloseLog();
  ASSERT_TRUE(store.SaveLogAs(Path("copy.kvl")));
  EXPECT_EQ(Bytes("copy.kvl"), Bytes());
  EXPECT_EQ(store.FileName(), Path());
  EXPECT_FALSE(store.SaveLogAs(Path()));
  EXPECT_FALSE(std::filesystem::exists(Path("copy.kvl.tmp")));

  // Read only: never written, not even by clearing.
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::ReadOnly));
  EXPECT_FALSE(store.Append(Telegram(5)));
  EXPECT_FALSE(store.ClearLog());
  store.CloseLog();
  EXPECT_EQ(Bytes(), Bytes("copy.kvl"));

  // Clearing starts anew with the new size and leaves the reader open.
  ASSERT_TRUE(store.OpenLog(Path(), false, LogOpenMode::KeepUnusable));
  general.logSize = 2;
  ASSERT_TRUE(store.ClearLog());
  EXPECT_EQ(Bytes().size(), 2128u);
  EXPECT_EQ(WordsAt({kPageCount}), (Words{63}));
  EXPECT_EQ(store.Queue().Count(), 0u);
  EXPECT_TRUE(store.ReaderOpen());
  Fill(4);
  EXPECT_EQ(store.Index().firstSeqNo, 1u);

  // The daily change closes the old log and starts the new one.
  ASSERT_TRUE(store.ChangeDailyLog(Path("KivoLog06.kvl")));
  EXPECT_EQ(WordsAt({kHeaderSize, kLastSeqNo}), (Words{2000, 4}));
  EXPECT_EQ(Bytes("KivoLog06.kvl").size(), 2128u);
  EXPECT_EQ(store.Queue().Count(), 0u);
}

// A page of entries of 5, 6, 7 and 8 frame octets at offsets 64, 102, 140
// and 180, chained as written.
constexpr std::uint32_t kEntryAt[] = {64, 102, 140, 180};
TLogPage ChainedPage() {
  TLogPage page;
  for (std::uint16_t i = 0; i < 4; ++i) {
    PutU16(page.bytes, kEntryAt[i], i == 0 ? 0 : kEntryAt[i] - kEntryAt[i - 1]);
    PutU16(page.bytes, kEntryAt[i] + 2, static_cast<std::uint16_t>((i + 5 + 33) & ~1u));
    PutU16(page.bytes, kEntryAt[i] + 6, i + 5);
    PutU32(page.bytes, kEntryAt[i] + 16, 100u + i);
  }
  PutU32(page.bytes, 4, kEntryAt[3] - 64);
  return page;
}

TEST(PageScan, PagesReadUpToTheirDamage) {
  struct Write {
    std::uint32_t at, value;
    int width = 2;
  };
  const struct {
    const char* what;
    std::vector<Write> damage;
    std::uint32_t intact;
  } cases[] = {
      {"intact", {}, 4},
      {"LastOffset beyond the page", {{4, 40000, 4}}, 4},
      {"LastOffset odd", {{4, 117, 4}}, 4},
      {"LastOffset between entries", {{4, 80, 4}}, 3},
      {"Length 0 inside the chain", {{140 + 2, 0}}, 2},
      {"odd Length", {{102 + 2, 41}}, 1},
      {"Length beyond the page", {{180 + 2, 0xFFFE}}, 3},
      {"Length not matching ByteCount", {{102 + 2, 64}}, 1},
      {"PrevLength not chaining", {{140, 2}}, 2},
      {"first PrevLength not 0", {{64, 38}}, 0},
      {"ByteCount above 261", {{180 + 6, 300}, {180 + 2, 332}}, 3},
  };
  for (const auto& c : cases) {
    TLogPage page = ChainedPage();
    for (const Write& w : c.damage) {
      w.width == 4 ? PutU32(page.bytes, w.at, w.value)
                   : PutU16(page.bytes, w.at, static_cast<std::uint16_t>(w.value));
    }
    const PageScan scan = ScanPage(page);
    EXPECT_EQ(scan.damaged, !c.damage.empty()) << c.what;
    EXPECT_EQ(scan.count, c.intact) << c.what;
    EXPECT_EQ(scan.lastEntry, kEntryAt[c.intact > 0 ? c.intact - 1 : 0]) << c.what;
  }
  TLogPage empty;
  EXPECT_FALSE(ScanPage(empty).damaged);
  PutU32(empty.bytes, 4, 38);  // claims entries that are not there
  EXPECT_TRUE(ScanPage(empty).damaged);

  // An entry near the page end is copied without reading beyond the page.
  PutU16(empty.bytes, kLogPageSize - 40 + 2, 0xFFFF);
  PutU32(empty.bytes, kLogPageSize - 40 + 16, 77);
  TLogEntry entry;
  ReadEntry(empty, kLogPageSize - 40, entry);
  EXPECT_EQ(entry.seqNo, 77u);
}

TLogPageHeader Page(std::uint32_t first, std::uint32_t last, std::uint32_t count = 0) {
  TLogPageHeader h;
  h.firstSeqNo = first;
  h.lastSeqNo = last;
  h.entryCount = count != 0 ? count : last - first + 1;
  return h;
}
// Oldest page, current page, first and last number of the rebuilt index, from
// page i holding pages[i] (none beyond) and the torn pages.
using Rebuilt = std::array<std::uint32_t, 4>;
Rebuilt Rebuild(std::uint32_t pageCount, const std::vector<TLogPageHeader>& pages,
                const std::set<std::uint32_t>& torn = {}) {
  const TLogIndex index = RebuildIndex(
      pageCount,
      [&](std::uint32_t p) -> std::optional<TLogPageHeader> {
        if (p >= pages.size()) return std::nullopt;
        return pages[p];
      },
      [&](std::uint32_t p) { return torn.count(p) == 0; });
  return {index.oldestPage, index.currentPage, index.firstSeqNo, index.lastSeqNo};
}

TEST(RebuildIndex, RingRunsFromTheNewestIntactPageBackToAGap) {
  // Page 0 was rewritten after the wrap, page 1 was in memory.
  EXPECT_EQ(
      Rebuild(5, {Page(501, 600), Page(101, 200), Page(201, 300), Page(301, 400), Page(401, 500)}),
      (Rebuilt{2, 1, 201, 600}));
  EXPECT_EQ(Rebuild(10, {Page(1, 50), Page(52, 90), Page(91, 140)}), (Rebuilt{1, 3, 52, 140}));
  const TLogPageHeader implausible = Page(51, 90, 3);
  EXPECT_EQ(Rebuild(10, {Page(1, 50), implausible, Page(91, 140)}), (Rebuilt{2, 3, 91, 140}));
  const std::set<std::uint32_t> torn = {2};
  EXPECT_EQ(Rebuild(10, {Page(1, 50), Page(51, 90), Page(91, 140)}, torn), (Rebuilt{0, 2, 1, 90}));
  // The numbers run on across the wrap of the 32-bit counter.
  EXPECT_EQ(Rebuild(10, {Page(4294967200u, 4294967295u), Page(0, 99), Page(100, 199)}),
            (Rebuilt{0, 3, 4294967200u, 199}));
}

}  // namespace
}  // namespace kivo
