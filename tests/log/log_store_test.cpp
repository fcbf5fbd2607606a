// The log store as the link engine, the views and the export see it: entries
// appended, the bytes that reach the file, and entries read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "log/log_store_fixture.h"
#include "platform/clock.h"

namespace kivo {
namespace {

using testing::StoreRig;
using testing::Telegram;

constexpr std::uint32_t kEntriesPerPage = 527;  // entries of 30 frame octets (62 stored)

std::uint32_t PageField(const std::string& bytes, std::uint32_t page, std::size_t field) {
  const std::size_t at = PageOffset(page) + field;
  return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), at);
}

// --- Creating, flushing, continuing ---

TEST(LogStoreFile, NewLogHoldsHeaderAndIndexOnly) {
  StoreRig rig;
  rig.general.logSize = 10;
  rig.port2.baud = 4800;
  ASSERT_TRUE(rig.store.CreateLog(rig.Path()));
  const std::string bytes = rig.Bytes();
  ASSERT_EQ(bytes.size(), 2128u);
  EXPECT_EQ(rig.U32At(bytes, 0), 0x4B000103u);
  EXPECT_EQ(rig.U32At(bytes, 4), 2128u);  // UsedBytes
  EXPECT_EQ(rig.U32At(bytes, 8), 2128u);  // HeaderSize: not flushed yet
  EXPECT_EQ(rig.U32At(bytes, 16), 580u);  // general settings copy
  EXPECT_EQ(rig.U32At(bytes, 1160 + 16), 4800u);
  EXPECT_EQ(rig.U32At(bytes, 2000), 128u);  // BlockSize
  EXPECT_EQ(rig.U32At(bytes, 2004), 313u);  // PageCount
}

TEST(LogStoreFile, FlushWritesPageHeaderAndIndex) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(3);
  ASSERT_TRUE(rig.store.FlushLog());
  const std::string bytes = rig.Bytes();
  ASSERT_EQ(bytes.size(), 2128u + 32768u);
  EXPECT_EQ(rig.U32At(bytes, 4), 2128u + 32768u);
  EXPECT_EQ(rig.U32At(bytes, 8), 2000u);
  EXPECT_EQ(rig.U32At(bytes, 2000 + 16), 1u);   // UsedPages
  EXPECT_EQ(rig.U32At(bytes, 2000 + 20), 1u);   // FirstSeqNo
  EXPECT_EQ(rig.U32At(bytes, 2000 + 24), 3u);   // LastSeqNo
  EXPECT_EQ(PageField(bytes, 0, 4), 2u * 62u);  // LastOffset of the third entry
  EXPECT_EQ(PageField(bytes, 0, 8), 1u);
  EXPECT_EQ(PageField(bytes, 0, 12), 3u);
  EXPECT_EQ(PageField(bytes, 0, 32), 3u);  // EntryCount
  // The entries chain both ways: PrevLength, Length, number.
  EXPECT_EQ(PageField(bytes, 0, 64) & 0xFFFF, 0u);
  EXPECT_EQ(PageField(bytes, 0, 64) >> 16, 62u);
  EXPECT_EQ(PageField(bytes, 0, 64 + 62) & 0xFFFF, 62u);
  EXPECT_EQ(PageField(bytes, 0, 64 + 62 + 16), 2u);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[PageOffset(0) + 64 + 30]), 0x68);
}

TEST(LogStoreFile, AppendStampsTodayAndTheTimeBase) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.clock.Advance(1500);
  rig.store.Append(Telegram(5));
  rig.store.OpenReader();
  const double expected = DayNumber(2026, 1, 5) + rig.timeBase.TimeOfDay();
  EXPECT_DOUBLE_EQ(rig.store.CurrentEntry().timeStamp, expected);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
  EXPECT_DOUBLE_EQ(rig.store.Index().lastTime, expected);
  EXPECT_DOUBLE_EQ(rig.store.Index().firstTime, expected);
}

TEST(LogStoreFile, ContinuedLogKeepsNumberingAndItsOwnPageCount) {
  StoreRig rig;
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kEntriesPerPage + 5);
  ASSERT_TRUE(rig.store.CloseLog());
  rig.general.logSize = 10;
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_FALSE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().pageCount, 32u);
  EXPECT_EQ(rig.general.logSize, 1u);  // the header's settings were taken over
  rig.Fill(1);
  EXPECT_EQ(rig.store.Index().lastSeqNo, kEntriesPerPage + 6);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.ReadPage(), 1u);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage + 6);
  EXPECT_EQ(rig.store.CurrentEntry().prevLength, 62u);
}

TEST(LogStoreFile, SettingsBlocksTakenOverOnlyWithTheirSize) {
  StoreRig rig;
  rig.port1.baud = 1200;
  rig.port2.baud = 2400;
  rig.store.CreateLog(rig.Path());
  rig.store.CloseLog();
  std::string bytes = rig.Bytes();
  bytes[1160] = 0;  // port 2 block without its size word
  testing::WriteFile(rig.Path(), bytes);
  rig.port1.baud = 9600;
  rig.port2.baud = 9600;
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
  EXPECT_EQ(rig.port1.baud, 1200u);
  EXPECT_EQ(rig.port2.baud, 9600u);
}

TEST(LogStoreFile, OldLogStartedAnewOnlyWhenAsked) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(2);
  rig.store.CloseLog();
  rig.clock.Advance(2ull * 86'400'000);  // the day after tomorrow
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u);
  rig.store.CloseLog();
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 0u);
  EXPECT_EQ(rig.Bytes().size(), 2128u);
}

TEST(LogStoreFile, YesterdaysLogContinuesWithTheDailyOption) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(2);
  rig.store.CloseLog();
  rig.clock.Advance(86'400'000 - 60'000);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u);
}

TEST(LogStoreFile, UnusableFileReplacedOnlyInTheStandardMode) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(4);
  const std::string foreign = rig.Path("notes.kvl");
  testing::WriteFile(foreign, std::string(3000, 'x'));

  // The operator's choice: the file stays as it was, the current log stays.
  EXPECT_FALSE(rig.store.OpenLog(foreign, false, LogOpenMode::KeepUnusable));
  EXPECT_EQ(testing::ReadFile(foreign), std::string(3000, 'x'));
  EXPECT_EQ(rig.store.FileName(), rig.Path());
  EXPECT_TRUE(rig.store.Append(Telegram(5)));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 5u);
  EXPECT_FALSE(rig.store.OpenLog(foreign, false, LogOpenMode::ReadOnly));

  // The standard log: replaced by a new log of the same name.
  ASSERT_TRUE(rig.store.OpenLog(foreign, false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.FileName(), foreign);
  EXPECT_EQ(testing::ReadFile(foreign).size(), 2128u);
  // The log left behind was closed properly.
  EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
  EXPECT_EQ(rig.U32At(rig.Bytes(), 2000 + 24), 5u);
}

TEST(LogStoreFile, IndexOutOfRangeIsNotAUsableLog) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.store.CloseLog();
  const std::string good = rig.Bytes();
  for (std::size_t field : {2004u, 2008u, 2012u}) {  // PageCount, OldestPage, CurrentPage
    std::string bytes = good;
    bytes[field + 2] = 0x7F;
    testing::WriteFile(rig.Path("bad.kvl"), bytes);
    EXPECT_FALSE(rig.store.OpenLog(rig.Path("bad.kvl"), false, LogOpenMode::ReadOnly)) << field;
  }
  std::string noPages = good;
  noPages[2004] = 0;
  noPages[2005] = 0;
  testing::WriteFile(rig.Path("bad.kvl"), noPages);
  EXPECT_FALSE(rig.store.OpenLog(rig.Path("bad.kvl"), false, LogOpenMode::ReadOnly));
}

TEST(LogStoreFile, FailedCreationSetsTheWriteErrorFlagAndOpeningClearsIt) {
  StoreRig rig;
  EXPECT_FALSE(rig.store.CreateLog(rig.Path("missing/dir/KivoLog.kvl")));
  EXPECT_TRUE(rig.writeFailed);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_FALSE(rig.writeFailed);
}

// --- Paging and the ring ---

TEST(LogStorePaging, EntryReachingTheLastOctetGoesToTheNextPage) {
  for (const bool fits : {true, false}) {
    StoreRig rig;
    rig.store.CreateLog(rig.Path());
    rig.Fill(110, 261);              // 110 × 294 octets: up to offset 32,404
    rig.store.Append(Telegram(38));  // 70 octets: up to 32,474, 294 octets left
    // 292 octets end at 32,766 and fit; 294 would reach 32,767.
    rig.store.Append(Telegram(fits ? 259 : 261));
    ASSERT_TRUE(rig.store.FlushLog());
    EXPECT_EQ(rig.store.Index().currentPage, fits ? 0u : 1u) << fits;
    const std::string bytes = rig.Bytes();
    if (fits) {
      EXPECT_EQ(PageField(bytes, 0, 32), 112u);
      EXPECT_EQ(PageField(bytes, 0, 4), 32474u - 64u);
    } else {
      EXPECT_EQ(PageField(bytes, 0, 32), 111u);
      EXPECT_EQ(PageField(bytes, 0, 12), 111u);
      EXPECT_EQ(PageField(bytes, 1, 8), 112u);          // FirstSeqNo of page 1
      EXPECT_EQ(PageField(bytes, 1, 64) & 0xFFFF, 0u);  // a page starts a new chain
    }
  }
}

TEST(LogStorePaging, FullRingDropsTheOldestPage) {
  StoreRig rig;
  rig.general.logSize = 1;  // 32 pages
  rig.store.CreateLog(rig.Path());
  const std::uint32_t pages = rig.store.Index().pageCount;
  ASSERT_EQ(pages, 32u);
  // 34 full pages; the next entry opens the 35th, page 2.
  rig.Fill(static_cast<int>(kEntriesPerPage * (pages + 2) + 1));
  const TLogIndex& index = rig.store.Index();
  EXPECT_EQ(index.currentPage, 2u);
  EXPECT_EQ(index.oldestPage, 3u);
  // The page dropped last held numbers up to 3 × 527.
  EXPECT_EQ(index.firstSeqNo, 3 * kEntriesPerPage + 1);
  rig.store.FlushLog();
  EXPECT_EQ(rig.U32At(rig.Bytes(), 2000 + 16), 32u);  // UsedPages

  // Reading goes from the oldest page on, wrapping from page 31 to page 0.
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.Move(-1'000'000), -static_cast<int>(kEntriesPerPage * 31));
  EXPECT_EQ(rig.store.ReadPage(), 3u);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, index.firstSeqNo);
  std::uint32_t expected = index.firstSeqNo;
  while (rig.store.StepForward()) {
    ASSERT_EQ(rig.store.CurrentEntry().seqNo, ++expected);
  }
  EXPECT_EQ(expected, index.lastSeqNo);
  EXPECT_EQ(rig.store.DamagedPages(), 0u);
}

TEST(LogStorePaging, OverwritingThePageUnderTheReaderCountsAnOverrun) {
  StoreRig rig;
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  rig.Fill(static_cast<int>(kEntriesPerPage * 31 + 3));
  rig.store.OpenReader();
  rig.store.SeekPage(0, false);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
  rig.Fill(static_cast<int>(kEntriesPerPage));
  EXPECT_EQ(rig.store.Index().overruns, 1u);
  // The reader keeps its own copy of the page it stands on.
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
}

// --- Filter, counters, queue ---

TEST(LogStoreAppend, LogFilterLeavesNoGapInTheNumbers) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  std::vector<std::uint32_t> offered;
  rig.store.hooks.logFilter = [&](const TLogEntry& e) {
    offered.push_back(e.seqNo);
    return e.channel != 2;
  };
  for (std::uint8_t channel : {1, 2, 2, 3, 2, 4}) rig.store.Append(Telegram(10, channel));
  EXPECT_EQ(offered, (std::vector<std::uint32_t>{1, 2, 2, 2, 3, 3}));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 3u);
  EXPECT_EQ(rig.store.Counters()[1].telegrams, 0u);  // dropped entries are not counted
  EXPECT_EQ(rig.store.Queue().Count(), 3u);          // nor shown
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().channel, 4);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3u);
}

TEST(LogStoreAppend, CountersByChannelAndStatus) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  std::vector<int> changed;
  rig.store.hooks.countersChanged = [&](int channel) { changed.push_back(channel); };
  rig.store.Append(Telegram(5, 1, 40));
  rig.store.Append(Telegram(5, 1, 12));               // error
  rig.store.Append(Telegram(5, 1, 19));               // below 40, not an error
  rig.store.Append(Telegram(5, 3, 50));               // not counted
  rig.store.Append(Telegram(0, 3, 33, kFrameEvent));  // events are not counted
  rig.store.Append(Telegram(5, 4, 0));                // error on channel 4
  const auto& c = rig.store.Counters();
  EXPECT_EQ(c[0].telegrams, 3u);
  EXPECT_EQ(c[0].errors, 1u);
  EXPECT_EQ(c[2].telegrams, 0u);
  EXPECT_EQ(c[2].errors, 0u);
  EXPECT_EQ(c[3].telegrams, 1u);
  EXPECT_EQ(c[3].errors, 1u);
  EXPECT_EQ(changed, (std::vector<int>{1, 1, 1, 4}));
  rig.store.ClearCounters();
  EXPECT_EQ(rig.store.Counters()[0].telegrams, 0u);
}

TEST(LogStoreQueue, OverflowDropsFourAndHoldsBackFixedFramesUntilCaughtUp) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  OnlineQueue& queue = rig.store.Queue();
  rig.Fill(15);
  EXPECT_EQ(queue.Count(), 15u);
  EXPECT_FALSE(queue.overflow);
  rig.store.Append(Telegram(7));  // entry 16 finds the queue full
  EXPECT_TRUE(queue.overflow);
  EXPECT_EQ(queue.Count(), 12u);
  TLogEntry taken;
  ASSERT_TRUE(queue.Take(taken));
  EXPECT_EQ(taken.seqNo, 5u);  // 1 to 4 were dropped
  EXPECT_EQ(queue.Newest(0).seqNo, 16u);

  rig.store.Append(Telegram(5, 1, 40, kFrameFixed));  // held back
  rig.store.Append(Telegram(9));                      // queued
  EXPECT_EQ(queue.Newest(0).seqNo, 18u);
  while (queue.Count() > 2) queue.Take(taken);
  EXPECT_TRUE(queue.overflow);
  queue.Take(taken);  // one left: caught up
  EXPECT_FALSE(queue.overflow);
  rig.store.Append(Telegram(5, 1, 40, kFrameFixed));
  EXPECT_EQ(queue.Newest(0).seqNo, 19u);
  EXPECT_EQ(queue.Newest(0).frameKind, kFrameFixed);

  rig.store.ResetQueue();
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_EQ(queue.readIndex(), 0u);
}

TEST(LogStoreQueue, DisplayFilterDecidesWhatIsQueued) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  rig.store.Append(Telegram(5, 1));
  rig.store.Append(Telegram(5, 3));
  EXPECT_EQ(rig.store.Queue().Count(), 1u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u);  // stored all the same
}

// --- Reading ---

TEST(LogStoreReader, ReadsThePageBeingWrittenFromMemory) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kEntriesPerPage + 4);
  // Page 1 is not in the file yet.
  EXPECT_EQ(rig.Bytes().size(), 2128u + 32768u);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.ReadPage(), 1u);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage + 4);
  rig.Fill(1);  // the reader's copy is older than the write page
  EXPECT_EQ(rig.store.Move(-4), -4);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage);
  EXPECT_EQ(rig.store.ReadPage(), 0u);
  rig.store.SeekPage(1, true);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage + 5);
}

TEST(LogStoreReader, EmptyLogHasNoEntryToStandOn) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().length, 0u);
  EXPECT_FALSE(rig.store.StepBack());
  EXPECT_FALSE(rig.store.StepForward());
  EXPECT_EQ(rig.store.Move(-1), 0);
  EXPECT_EQ(rig.store.Move(6000), 0);
  EXPECT_EQ(rig.store.EntryCount(), 0u);
}

TEST(LogStoreReader, StepsAndMovesAcrossPagesStopAtTheEnds) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(3 * kEntriesPerPage);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.ReadPage(), 2u);
  EXPECT_EQ(rig.store.EntryCount(), 3 * kEntriesPerPage);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kEntriesPerPage);
  EXPECT_FALSE(rig.store.StepForward());  // nothing after it: the cursor stays
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kEntriesPerPage);

  ASSERT_TRUE(rig.store.SeekPage(1, false));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage + 1);
  EXPECT_TRUE(rig.store.StepBack());
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage);
  EXPECT_EQ(rig.store.ReadPage(), 0u);
  EXPECT_EQ(rig.store.Move(10), 10);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kEntriesPerPage + 10);
  EXPECT_EQ(rig.store.Move(-100000), -static_cast<int>(kEntriesPerPage + 9));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
  EXPECT_FALSE(rig.store.StepBack());
  EXPECT_EQ(rig.store.Move(5000), static_cast<int>(3 * kEntriesPerPage) - 1);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kEntriesPerPage);
  ASSERT_TRUE(rig.store.SeekPage(2, false));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 2 * kEntriesPerPage + 1);
  EXPECT_FALSE(rig.store.SeekPage(313, false));
}

TEST(LogStoreReader, LargeMovesLandWhereSingleStepsLand) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(20'000, 0);  // entries of 32 octets, 1,021 per page
  rig.store.OpenReader();
  rig.store.Move(-30'000);
  ASSERT_EQ(rig.store.CurrentEntry().seqNo, 1u);
  for (int n : {5000, 7321, 1021, 6000}) {
    const std::uint32_t before = rig.store.CurrentEntry().seqNo;
    ASSERT_EQ(rig.store.Move(n), n);
    EXPECT_EQ(rig.store.CurrentEntry().seqNo, before + static_cast<std::uint32_t>(n)) << n;
  }
  for (int n : {-5000, -8000, -6000}) {
    const std::uint32_t before = rig.store.CurrentEntry().seqNo;
    ASSERT_EQ(rig.store.Move(n), n);
    EXPECT_EQ(rig.store.CurrentEntry().seqNo, before - static_cast<std::uint32_t>(-n)) << n;
  }
  // The last step of a long move ends on the last entry, not on the empty write page.
  EXPECT_EQ(rig.store.Move(30'000), static_cast<int>(20'000 - rig.store.CurrentEntry().seqNo));
}

TEST(LogStoreReader, FilteredMovesCountOnlyPassingEntries) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  // Numbers 1..1200; channel 3 on every tenth entry from 15 on.
  for (int i = 1; i <= 1200; ++i) {
    rig.store.Append(Telegram(30, (i >= 15 && i % 10 == 5) ? 3 : 1));
  }
  rig.store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1200u);
  EXPECT_EQ(rig.store.Move(-1), -1);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1195u);
  EXPECT_EQ(rig.store.Move(-60), -60);  // across the page boundary at 527
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 595u);
  EXPECT_EQ(rig.store.Move(3), 3);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 625u);
  // Nothing passes behind 15: the cursor comes back to it.
  EXPECT_EQ(rig.store.Move(-1000), -61);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 15u);
  // From an entry that does not pass, a failed move back lands on the nearest
  // passing entry ahead.
  rig.store.SeekPage(0, false);
  EXPECT_EQ(rig.store.Move(-1), 0);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 15u);
  // 5,000 and more ignore the filter.
  EXPECT_EQ(rig.store.Move(-5000), -14);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
  EXPECT_EQ(rig.store.Move(5000), 1199);
}

// --- Damaged files ---

// A flushed log of three full pages and a partial fourth.
std::string WriteThreePageLog(StoreRig& rig) {
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  rig.Fill(static_cast<int>(3 * kEntriesPerPage + 10));
  rig.store.CloseLog();
  return rig.Bytes();
}

struct WalkResult {
  std::uint32_t entries = 0;
  std::uint32_t damaged = 0;
};

WalkResult WalkFromOldest(StoreRig& rig, const std::string& bytes) {
  testing::WriteFile(rig.Path("damaged.kvl"), bytes);
  WalkResult result;
  if (!rig.store.OpenLog(rig.Path("damaged.kvl"), false, LogOpenMode::ReadOnly)) return result;
  rig.store.OpenReader();
  rig.store.SeekPage(rig.store.Index().oldestPage, false);
  if (rig.store.CurrentEntry().length != 0) ++result.entries;
  while (rig.store.StepForward()) ++result.entries;
  result.damaged = rig.store.DamagedPages();
  rig.store.CloseLog();
  return result;
}

TEST(LogStoreDamage, DamagedPageReadsUpToItsDamage) {
  StoreRig rig;
  const std::string good = WriteThreePageLog(rig);
  const WalkResult intact = WalkFromOldest(rig, good);
  EXPECT_EQ(intact.entries, 3 * kEntriesPerPage + 10);
  EXPECT_EQ(intact.damaged, 0u);

  const std::size_t page1 = PageOffset(1);
  const std::size_t entry5 = page1 + 64 + 5 * 62;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint16_t value;
    std::uint32_t lost;  // entries of page 1 that cannot be read
  };
  const Case cases[] = {
      {"LastOffset beyond the page", page1 + 4, 0xF000, 0},
      {"Length 0", entry5 + 2, 0, kEntriesPerPage - 5},
      {"odd Length", entry5 + 2, 61, kEntriesPerPage - 5},
      {"Length beyond the page", entry5 + 2, 0xFFF0, kEntriesPerPage - 5},
      {"PrevLength not chaining", entry5, 60, kEntriesPerPage - 5},
      {"ByteCount above 261", entry5 + 6, 262, kEntriesPerPage - 5},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    bytes[c.at] = static_cast<char>(c.value & 0xFF);
    bytes[c.at + 1] = static_cast<char>(c.value >> 8);
    const WalkResult r = WalkFromOldest(rig, bytes);
    EXPECT_EQ(r.entries, intact.entries - c.lost) << c.what;
    EXPECT_EQ(r.damaged, 1u) << c.what;
  }
}

TEST(LogStoreDamage, TruncatedFileReadsTheWholePagesItStillHolds) {
  StoreRig rig;
  const std::string good = WriteThreePageLog(rig);
  const WalkResult r = WalkFromOldest(rig, good.substr(0, PageOffset(2) + 1000));
  // Pages 0 and 1 read; page 2 is cut; page 3 (the write page) is gone.
  EXPECT_EQ(r.entries, 2 * kEntriesPerPage);
  EXPECT_EQ(r.damaged, 2u);
}

TEST(LogStoreDamage, ContinuingADamagedWritePageKeepsItsIntactEntries) {
  StoreRig rig;
  std::string bytes = WriteThreePageLog(rig);
  const std::size_t entry4 = PageOffset(3) + 64 + 4 * 62;
  bytes[entry4 + 2] = 1;  // odd Length: entries 5 to 10 of page 3 are lost
  testing::WriteFile(rig.Path(), bytes);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
  rig.Fill(1);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.DamagedPages(), 1u);  // the export still reports it
  EXPECT_EQ(rig.store.CurrentEntry().prevLength, 62u);
  ASSERT_TRUE(rig.store.StepBack());
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kEntriesPerPage + 4);
}

// --- Logs left by a crash ---

TEST(LogStoreRecovery, NeverFlushedLogIsContinuedFromItsPages) {
  StoreRig rig;
  {
    StoreRig writer;
    writer.store.CreateLog(rig.Path());
    writer.Fill(static_cast<int>(3 * kEntriesPerPage + 7));
    // The writer ends without a flush: its header still says 2,128.
  }
  ASSERT_EQ(rig.U32At(rig.Bytes(), 8), 2128u);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().oldestPage, 0u);
  EXPECT_EQ(rig.store.Index().currentPage, 3u);
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 3 * kEntriesPerPage);
  rig.Fill(1);
  rig.store.FlushLog();
  EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
  EXPECT_EQ(rig.Bytes().size(), PageOffset(4));
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kEntriesPerPage + 1);
  EXPECT_EQ(rig.store.Move(-100'000), -static_cast<int>(3 * kEntriesPerPage));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);
}

TEST(LogStoreRecovery, PageTornByTheKillIsWrittenAgain) {
  StoreRig rig;
  {
    StoreRig writer;
    writer.store.CreateLog(rig.Path());
    writer.Fill(static_cast<int>(3 * kEntriesPerPage + 7));
  }
  // The last page write was cut after its first 4,096 octets.
  std::string bytes = rig.Bytes();
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(2) + 4096), bytes.end(), 0);
  testing::WriteFile(rig.Path(), bytes);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().currentPage, 2u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2 * kEntriesPerPage);
  rig.Fill(1);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 2 * kEntriesPerPage + 1);
  EXPECT_EQ(rig.store.Move(-100'000), -static_cast<int>(2 * kEntriesPerPage));
  EXPECT_EQ(rig.store.DamagedPages(), 0u);
}

TEST(LogStoreRecovery, ContinuedLogIsMarkedUnflushedWhenItWritesAPage) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(10);
  rig.store.CloseLog();
  {
    StoreRig writer;
    ASSERT_TRUE(writer.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
    writer.Fill(static_cast<int>(kEntriesPerPage - 10));  // page 0 full, still in memory
    EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
    writer.Fill(1);  // page 0 goes to the file
    EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2128u);
    writer.Fill(static_cast<int>(kEntriesPerPage));  // and page 1
  }
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2 * kEntriesPerPage);
  EXPECT_EQ(rig.store.Index().currentPage, 2u);
}

// --- Whole-log commands ---

TEST(LogStoreCommands, SaveLogAsCopiesTheFileAndKeepsTheCurrentLog) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kEntriesPerPage + 3);
  rig.store.CloseLog();
  ASSERT_TRUE(rig.store.SaveLogAs(rig.Path("copy.kvl")));
  EXPECT_EQ(rig.Bytes("copy.kvl"), rig.Bytes());
  EXPECT_EQ(rig.store.FileName(), rig.Path());
  EXPECT_FALSE(rig.store.SaveLogAs(rig.Path()));
  EXPECT_FALSE(std::filesystem::exists(rig.Path("copy.kvl.tmp")));
  ASSERT_TRUE(rig.store.OpenLog(rig.Path("copy.kvl"), false, LogOpenMode::KeepUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, kEntriesPerPage + 3);
}

TEST(LogStoreCommands, ClearLogStartsAnewWithTheNewSize) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kEntriesPerPage + 3);
  rig.general.logSize = 2;
  ASSERT_TRUE(rig.store.ClearLog());
  EXPECT_EQ(rig.store.Index().pageCount, 63u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 0u);
  EXPECT_EQ(rig.Bytes().size(), 2128u);
  EXPECT_EQ(rig.U32At(rig.Bytes(), 2004), 63u);
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
  EXPECT_TRUE(rig.store.ReaderOpen());
  EXPECT_EQ(rig.store.CurrentEntry().length, 0u);
  rig.Fill(1);
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);
}

TEST(LogStoreCommands, DailyChangeClosesTheOldLogAndStartsTheNewOne) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path("KivoLog05.kvl"));
  rig.Fill(4);
  ASSERT_TRUE(rig.store.ChangeDailyLog(rig.Path("KivoLog06.kvl")));
  EXPECT_EQ(rig.U32At(rig.Bytes("KivoLog05.kvl"), 8), 2000u);
  EXPECT_EQ(rig.U32At(rig.Bytes("KivoLog05.kvl"), 2000 + 24), 4u);
  EXPECT_EQ(rig.Bytes("KivoLog06.kvl").size(), 2128u);
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
  EXPECT_EQ(rig.store.FileName(), rig.Path("KivoLog06.kvl"));
}

TEST(LogStoreCommands, ReadOnlyLogIsNeverWritten) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(5);
  rig.store.CloseLog();
  const std::string before = rig.Bytes();
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReadOnly));
  EXPECT_FALSE(rig.store.Append(Telegram(5)));
  EXPECT_FALSE(rig.store.ClearLog());
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 5u);
  rig.store.CloseLog();
  EXPECT_EQ(rig.Bytes(), before);
}

}  // namespace
}  // namespace kivo
