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

constexpr std::uint32_t kPerPage = 527;  // entries of 30 frame octets (62 stored)

std::uint32_t PageField(const std::string& bytes, std::uint32_t page, std::size_t field) {
  return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                PageOffset(page) + field);
}
int Entries(std::uint32_t n) {
  return static_cast<int>(n);
}

TEST(LogStoreFile, NewLogThenFlushedLogOnDisk) {
  StoreRig rig;
  rig.port2.baud = 4800;
  ASSERT_TRUE(rig.store.CreateLog(rig.Path()));
  std::string bytes = rig.Bytes();
  ASSERT_EQ(bytes.size(), 2128u);
  EXPECT_EQ(rig.U32At(bytes, 0), 0x4B000103u);
  EXPECT_EQ(rig.U32At(bytes, 8), 2128u);  // HeaderSize: not flushed yet
  EXPECT_EQ(rig.U32At(bytes, 1160 + 16), 4800u);
  EXPECT_EQ(rig.U32At(bytes, 2004), 313u);  // PageCount

  rig.Fill(3);
  ASSERT_TRUE(rig.store.FlushLog());
  bytes = rig.Bytes();
  ASSERT_EQ(bytes.size(), 2128u + 32768u);
  EXPECT_EQ(rig.U32At(bytes, 4), 2128u + 32768u);  // UsedBytes
  EXPECT_EQ(rig.U32At(bytes, 8), 2000u);
  EXPECT_EQ(rig.U32At(bytes, 2016), 1u);          // UsedPages
  EXPECT_EQ(rig.U32At(bytes, 2024), 3u);          // LastSeqNo
  EXPECT_EQ(PageField(bytes, 0, 4), 2u * 62u);    // LastOffset
  EXPECT_EQ(PageField(bytes, 0, 32), 3u);         // EntryCount
  EXPECT_EQ(PageField(bytes, 0, 64), 62u << 16);  // PrevLength 0, Length 62
  EXPECT_EQ(PageField(bytes, 0, 64 + 62), 62u | (62u << 16));
  EXPECT_EQ(PageField(bytes, 0, 64 + 62 + 16), 2u);  // SeqNo
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
  EXPECT_DOUBLE_EQ(rig.store.Index().firstTime, expected);
}

TEST(LogStoreFile, ContinuedLogKeepsItsNumbersPageCountAndSizedSettings) {
  StoreRig rig;
  rig.general.logSize = 1;
  rig.port1.baud = 1200;
  rig.port2.baud = 2400;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kPerPage + 5);
  ASSERT_TRUE(rig.store.CloseLog());
  std::string bytes = rig.Bytes();
  bytes[1160] = 0;  // port 2 block without its size word
  testing::WriteFile(rig.Path(), bytes);
  rig.general.logSize = 10;
  rig.port1.baud = rig.port2.baud = 9600;

  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().pageCount, 32u);
  EXPECT_EQ(rig.general.logSize, 1u);
  EXPECT_EQ(rig.port1.baud, 1200u);
  EXPECT_EQ(rig.port2.baud, 9600u);
  rig.Fill(1);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 6);
  EXPECT_EQ(rig.store.CurrentEntry().prevLength, 62u);
}

TEST(LogStoreFile, OldLogStartedAnewOnlyWhenAsked) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(2);
  rig.store.CloseLog();
  rig.clock.Advance(86'400'000 - 60'000);  // yesterday's log goes on
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u);
  rig.clock.Advance(86'400'000);  // now from the day before yesterday
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), true, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 0u);
  EXPECT_EQ(rig.Bytes().size(), 2128u);
}

TEST(LogStoreFile, UnusableFileReplacedOnlyInTheStandardMode) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(4);
  const std::string foreign = rig.Path("notes.kvl");
  testing::WriteFile(foreign, std::string(3000, 'x'));
  EXPECT_FALSE(rig.store.OpenLog(foreign, false, LogOpenMode::KeepUnusable));
  EXPECT_FALSE(rig.store.OpenLog(foreign, false, LogOpenMode::ReadOnly));
  EXPECT_EQ(testing::ReadFile(foreign), std::string(3000, 'x'));
  EXPECT_TRUE(rig.store.Append(Telegram(5)));  // still the current log
  EXPECT_EQ(rig.store.FileName(), rig.Path());

  ASSERT_TRUE(rig.store.OpenLog(foreign, false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(testing::ReadFile(foreign).size(), 2128u);
  EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);  // the old log was closed properly
  EXPECT_EQ(rig.U32At(rig.Bytes(), 2024), 5u);

  // Index fields out of range: PageCount, OldestPage, CurrentPage, no pages.
  const std::string good = rig.Bytes();
  for (std::size_t at : {2006u, 2010u, 2014u, 2004u}) {
    std::string bytes = good;
    bytes[at] = at == 2004 ? 0 : 0x7F;
    bytes[2005] = at == 2004 ? 0 : bytes[2005];
    testing::WriteFile(rig.Path("bad.kvl"), bytes);
    EXPECT_FALSE(rig.store.OpenLog(rig.Path("bad.kvl"), false, LogOpenMode::ReadOnly)) << at;
  }
}

TEST(LogStoreFile, FailedCreationSetsTheWriteErrorFlagAndOpeningClearsIt) {
  StoreRig rig;
  EXPECT_FALSE(rig.store.CreateLog(rig.Path("missing/KivoLog.kvl")));
  EXPECT_TRUE(rig.writeFailed);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_FALSE(rig.writeFailed);
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
    const std::string bytes = rig.Bytes();
    EXPECT_EQ(rig.store.Index().currentPage, fits ? 0u : 1u);
    EXPECT_EQ(PageField(bytes, 0, 32), fits ? 112u : 111u);
    if (!fits) {
      EXPECT_EQ(PageField(bytes, 1, 64), 294u << 16);  // a new chain on page 1
    }
  }
}

TEST(LogStorePaging, FullRingDropsTheOldestPageAndReadsFromIt) {
  StoreRig rig;
  rig.general.logSize = 1;  // 32 pages
  rig.store.CreateLog(rig.Path());
  rig.Fill(Entries(kPerPage * 31 + 3));
  rig.store.OpenReader();
  rig.store.SeekPage(0, false);
  // 34 full pages; the next entry opens the 35th, page 2.
  rig.Fill(Entries(kPerPage * 3 - 2));
  const TLogIndex& index = rig.store.Index();
  EXPECT_EQ(index.currentPage, 2u);
  EXPECT_EQ(index.oldestPage, 3u);
  EXPECT_EQ(index.firstSeqNo, 3 * kPerPage + 1);  // the dropped page ended at 3 × 527
  EXPECT_EQ(index.overruns, 1u);                  // page 0 under the reader was overwritten
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);  // from the reader's own copy
  rig.store.CloseReader();

  rig.store.OpenReader();
  EXPECT_EQ(rig.store.Move(-1'000'000), -Entries(kPerPage * 31));
  EXPECT_EQ(rig.store.ReadPage(), 3u);
  std::uint32_t expected = index.firstSeqNo;
  ASSERT_EQ(rig.store.CurrentEntry().seqNo, expected);
  while (rig.store.StepForward()) ASSERT_EQ(rig.store.CurrentEntry().seqNo, ++expected);
  EXPECT_EQ(expected, index.lastSeqNo);
}

TEST(LogStoreAppend, LogFilterLeavesNoGapAndCountersFollowTheStatus) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  std::vector<std::uint32_t> offered;
  rig.store.hooks.logFilter = [&](const TLogEntry& e) {
    offered.push_back(e.seqNo);
    return e.channel != 2;
  };
  std::vector<int> changed;
  rig.store.hooks.countersChanged = [&](int channel) { changed.push_back(channel); };
  rig.store.Append(Telegram(5, 1, 40));
  rig.store.Append(Telegram(5, 2, 12));               // dropped: not stored, counted or queued
  rig.store.Append(Telegram(5, 1, 12));               // error
  rig.store.Append(Telegram(5, 1, 19));               // below 40, not an error
  rig.store.Append(Telegram(5, 3, 50));               // not counted
  rig.store.Append(Telegram(0, 3, 33, kFrameEvent));  // events are not counted
  rig.store.Append(Telegram(5, 4, 0));
  EXPECT_EQ(offered, (std::vector<std::uint32_t>{1, 2, 2, 3, 4, 5, 6}));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 6u);
  EXPECT_EQ(rig.store.Queue().Count(), 6u);
  const auto& c = rig.store.Counters();
  EXPECT_EQ(c[0].telegrams, 3u);
  EXPECT_EQ(c[0].errors, 1u);
  EXPECT_EQ(c[1].telegrams + c[2].telegrams, 0u);
  EXPECT_EQ(c[3].errors, 1u);
  EXPECT_EQ(changed, (std::vector<int>{1, 1, 1, 4}));
}

TEST(LogStoreQueue, OverflowDropsFourAndHoldsBackFixedFramesUntilCaughtUp) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  OnlineQueue& queue = rig.store.Queue();
  rig.Fill(16);  // the 16th finds the queue full
  EXPECT_TRUE(queue.overflow);
  EXPECT_EQ(queue.Count(), 12u);
  TLogEntry taken;
  ASSERT_TRUE(queue.Take(taken));
  EXPECT_EQ(taken.seqNo, 5u);                         // 1 to 4 were dropped
  rig.store.Append(Telegram(5, 1, 40, kFrameFixed));  // held back
  rig.store.Append(Telegram(9));
  EXPECT_EQ(queue.Newest(0).seqNo, 18u);
  while (queue.Count() > 1) queue.Take(taken);
  EXPECT_FALSE(queue.overflow);  // caught up
  rig.store.Append(Telegram(5, 1, 40, kFrameFixed));
  EXPECT_EQ(queue.Newest(0).seqNo, 19u);

  rig.store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  rig.store.Append(Telegram(5, 1));
  EXPECT_EQ(queue.Newest(0).seqNo, 19u);
  rig.store.ResetQueue();
  EXPECT_EQ(queue.Count(), 0u);
}

TEST(LogStoreReader, ReadsThePageBeingWrittenFromMemory) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().length, 0u);  // an empty log: no entry
  EXPECT_EQ(rig.store.Move(-1), 0);
  rig.store.CloseReader();
  rig.Fill(kPerPage + 4);
  EXPECT_EQ(rig.Bytes().size(), PageOffset(1));  // page 1 is not in the file
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.ReadPage(), 1u);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 4);
  rig.Fill(1);
  rig.store.SeekPage(1, true);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 5);
}

TEST(LogStoreReader, StepsMovesAndSeeksAcrossPagesStopAtTheEnds) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(3 * kPerPage);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.EntryCount(), 3 * kPerPage);
  EXPECT_FALSE(rig.store.StepForward());  // at the newest entry: the cursor stays
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kPerPage);
  ASSERT_TRUE(rig.store.SeekPage(1, false));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 1);
  EXPECT_TRUE(rig.store.StepBack());
  EXPECT_EQ(rig.store.ReadPage(), 0u);
  EXPECT_EQ(rig.store.Move(10), 10);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 10);
  EXPECT_EQ(rig.store.Move(-100000), -Entries(kPerPage + 9));
  EXPECT_FALSE(rig.store.StepBack());
  EXPECT_EQ(rig.store.Move(5000), Entries(3 * kPerPage) - 1);
  EXPECT_FALSE(rig.store.SeekPage(313, false));
}

TEST(LogStoreReader, LargeMovesLandWhereSingleStepsLand) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(20'000, 0);  // 32 octets each, 1,021 per page
  rig.store.OpenReader();
  rig.store.Move(-30'000);
  // 5,103 and -5,102 end one entry short of a whole page after the pages they skip.
  for (int n : {5103, -5102, 5000, 7321, 1021, 6000, -5000, -8000, -6000}) {
    const std::uint32_t before = rig.store.CurrentEntry().seqNo;
    ASSERT_EQ(rig.store.Move(n), n);
    EXPECT_EQ(rig.store.CurrentEntry().seqNo, before + static_cast<std::uint32_t>(n)) << n;
  }
  EXPECT_EQ(rig.store.Move(30'000), Entries(20'000 - rig.store.CurrentEntry().seqNo));
}

TEST(LogStoreReader, FilteredMovesCountOnlyPassingEntries) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  // Channel 3 on every tenth entry from 15 on, 1,200 entries over three pages.
  for (int i = 1; i <= 1200; ++i) rig.store.Append(Telegram(30, (i >= 15 && i % 10 == 5) ? 3 : 1));
  rig.store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.Move(-61), -61);  // across the page boundary at 1,054
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 595u);
  EXPECT_EQ(rig.store.Move(3), 3);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 625u);
  EXPECT_EQ(rig.store.Move(-1000), -61);  // nothing passes behind 15
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 15u);
  rig.store.SeekPage(0, false);  // on entry 1, which does not pass
  EXPECT_EQ(rig.store.Move(-1), 0);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 15u);  // the nearest passing entry ahead
  EXPECT_EQ(rig.store.Move(-5000), -14);           // 5,000 and more ignore the filter
}

// A flushed log of three full pages and a partial fourth, walked from the
// oldest entry by a read-only store as the export walks it.
struct WalkResult {
  std::uint32_t entries = 0;
  std::uint32_t damaged = 0;
};
std::string ThreePageLog(StoreRig& rig) {
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  rig.Fill(Entries(3 * kPerPage + 10));
  rig.store.CloseLog();
  return rig.Bytes();
}
WalkResult WalkFromOldest(StoreRig& rig, const std::string& bytes) {
  testing::WriteFile(rig.Path("walk.kvl"), bytes);
  WalkResult result;
  if (!rig.store.OpenLog(rig.Path("walk.kvl"), false, LogOpenMode::ReadOnly)) return result;
  rig.store.OpenReader();
  rig.store.SeekPage(rig.store.Index().oldestPage, false);
  result.entries = rig.store.CurrentEntry().length != 0 ? 1 : 0;
  while (rig.store.StepForward()) ++result.entries;
  result.damaged = rig.store.DamagedPages();
  rig.store.CloseLog();
  return result;
}

TEST(LogStoreDamage, DamagedPagesReadUpToTheirDamageAndAreCounted) {
  StoreRig rig;
  const std::string good = ThreePageLog(rig);
  EXPECT_EQ(WalkFromOldest(rig, good).entries, 3 * kPerPage + 10);
  const std::size_t entry5 = PageOffset(1) + 64 + 5 * 62;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint16_t value;
    std::uint32_t lost;
  } cases[] = {
      {"LastOffset beyond the page", PageOffset(1) + 4, 0xF000, 0},
      {"Length 0", entry5 + 2, 0, kPerPage - 5},
      {"odd Length", entry5 + 2, 61, kPerPage - 5},
      {"Length beyond the page", entry5 + 2, 0xFFF0, kPerPage - 5},
      {"PrevLength not chaining", entry5, 60, kPerPage - 5},
      {"ByteCount above 261", entry5 + 6, 262, kPerPage - 5},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    bytes[c.at] = static_cast<char>(c.value & 0xFF);
    bytes[c.at + 1] = static_cast<char>(c.value >> 8);
    const WalkResult r = WalkFromOldest(rig, bytes);
    EXPECT_EQ(r.entries, 3 * kPerPage + 10 - c.lost) << c.what;
    EXPECT_EQ(r.damaged, 1u) << c.what;
  }
  // Cut in page 2: pages 0 and 1 read, pages 2 and 3 count as damaged.
  const WalkResult cut = WalkFromOldest(rig, good.substr(0, PageOffset(2) + 1000));
  EXPECT_EQ(cut.entries, 2 * kPerPage);
  EXPECT_EQ(cut.damaged, 2u);
}

TEST(LogStoreDamage, ContinuingADamagedWritePageKeepsItsIntactEntries) {
  StoreRig rig;
  std::string bytes = ThreePageLog(rig);
  bytes[PageOffset(3) + 64 + 4 * 62 + 2] = 1;  // entries 5 to 10 of page 3 are lost
  testing::WriteFile(rig.Path(), bytes);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
  rig.Fill(1);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.DamagedPages(), 1u);  // the export still reports it
  EXPECT_EQ(rig.store.CurrentEntry().prevLength, 62u);
  ASSERT_TRUE(rig.store.StepBack());
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kPerPage + 4);
}

// A writer that ends without a flush leaves HeaderSize 2,128 behind.
void CrashedWriter(StoreRig& rig, int entries) {
  StoreRig writer;
  writer.store.CreateLog(rig.Path());
  writer.Fill(entries);
}

TEST(LogStoreRecovery, NeverFlushedLogIsContinuedFromItsPages) {
  StoreRig rig;
  CrashedWriter(rig, Entries(3 * kPerPage + 7));
  ASSERT_EQ(rig.U32At(rig.Bytes(), 8), 2128u);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().currentPage, 3u);
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 3 * kPerPage);
  rig.Fill(1);
  rig.store.FlushLog();
  EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3 * kPerPage + 1);
  EXPECT_EQ(rig.store.Move(-100'000), -Entries(3 * kPerPage));
}

TEST(LogStoreRecovery, PageTornByTheKillIsWrittenAgain) {
  StoreRig rig;
  CrashedWriter(rig, Entries(3 * kPerPage + 7));
  std::string bytes = rig.Bytes();  // the last page write was cut after 4,096 octets
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(PageOffset(2) + 4096), bytes.end(), 0);
  testing::WriteFile(rig.Path(), bytes);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_EQ(rig.store.Index().currentPage, 2u);
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2 * kPerPage);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.Move(-100'000), -Entries(2 * kPerPage));  // from the empty write page
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
    writer.Fill(Entries(kPerPage - 10));  // page 0 full, still in memory
    EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
    writer.Fill(1 + kPerPage);  // pages 0 and 1 go to the file
    EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2128u);
  }
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2 * kPerPage);
}

TEST(LogStoreCommands, SaveLogAsCopiesTheFileAndKeepsTheCurrentLog) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kPerPage + 3);
  rig.store.CloseLog();
  ASSERT_TRUE(rig.store.SaveLogAs(rig.Path("copy.kvl")));
  EXPECT_EQ(rig.Bytes("copy.kvl"), rig.Bytes());
  EXPECT_EQ(rig.store.FileName(), rig.Path());
  EXPECT_FALSE(rig.store.SaveLogAs(rig.Path()));
  EXPECT_FALSE(std::filesystem::exists(rig.Path("copy.kvl.tmp")));
}

TEST(LogStoreCommands, ClearLogStartsAnewWithTheNewSize) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kPerPage + 3);
  rig.general.logSize = 2;
  ASSERT_TRUE(rig.store.ClearLog());
  EXPECT_EQ(rig.Bytes().size(), 2128u);
  EXPECT_EQ(rig.U32At(rig.Bytes(), 2004), 63u);
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
  EXPECT_TRUE(rig.store.ReaderOpen());
  rig.Fill(1);
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);
}

TEST(LogStoreCommands, DailyChangeClosesTheOldLogAndStartsTheNewOne) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path("KivoLog05.kvl"));
  rig.Fill(4);
  ASSERT_TRUE(rig.store.ChangeDailyLog(rig.Path("KivoLog06.kvl")));
  EXPECT_EQ(rig.U32At(rig.Bytes("KivoLog05.kvl"), 8), 2000u);
  EXPECT_EQ(rig.U32At(rig.Bytes("KivoLog05.kvl"), 2024), 4u);
  EXPECT_EQ(rig.Bytes("KivoLog06.kvl").size(), 2128u);
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
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
  rig.store.CloseLog();
  EXPECT_EQ(rig.Bytes(), before);
}

}  // namespace
}  // namespace kivo
