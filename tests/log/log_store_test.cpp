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
using Words = std::vector<std::uint32_t>;
using Ring = std::array<std::uint32_t, 5>;

constexpr int kPerPage = 527;  // entries of 30 frame octets (62 stored)
// Header and index words: UsedBytes, HeaderSize, PageCount, UsedPages, LastSeqNo.
constexpr std::uint64_t kUsedBytes = 4, kHeaderSize = 8, kPageCount = 2004, kUsedPages = 2016,
                        kLastSeqNo = 2024;

// The 32-bit words of a log file at the given offsets.
Words WordsAt(const StoreRig& rig, std::initializer_list<std::uint64_t> offsets,
              const std::string& name = "KivoLog.kvl") {
  const std::string bytes = rig.Bytes(name);
  Words words;
  for (std::uint64_t at : offsets) words.push_back(rig.U32At(bytes, at));
  return words;
}
// The index's ring: oldest and current page, first and last number, overruns.
Ring RingOf(const LogStore& store) {
  const TLogIndex& i = store.Index();
  return {i.oldestPage, i.currentPage, i.firstSeqNo, i.lastSeqNo, i.overruns};
}
// A log of three full pages and ten entries on the fourth, closed.
std::string ThreePageLog(StoreRig& rig) {
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  rig.Fill(3 * kPerPage + 10);
  rig.store.CloseLog();
  return rig.Bytes();
}
// The numbers of the entries from the oldest on, as the export walks them.
Words FromOldest(LogStore& store) {
  store.OpenReader();
  store.SeekPage(store.Index().oldestPage, false);
  Words numbers;
  if (store.CurrentEntry().length != 0) numbers.push_back(store.CurrentEntry().seqNo);
  while (store.StepForward()) numbers.push_back(store.CurrentEntry().seqNo);
  return numbers;
}

TEST(LogStoreFile, NewLogThenFlushedLogOnDisk) {
  StoreRig rig;
  rig.port2.baud = 4800;
  ASSERT_TRUE(rig.store.CreateLog(rig.Path()));
  EXPECT_EQ(rig.Bytes().size(), 2128u);
  EXPECT_EQ(WordsAt(rig, {0, kHeaderSize, 1160 + 16, kPageCount}),
            (Words{0x4B000103, 2128, 4800, 313}));  // not flushed yet
  rig.clock.Advance(1500);
  rig.Fill(3);
  ASSERT_TRUE(rig.store.FlushLog());
  EXPECT_EQ(rig.Bytes().size(), 2128u + 32768u);
  EXPECT_EQ(WordsAt(rig, {kUsedBytes, kHeaderSize, kUsedPages, kLastSeqNo}),
            (Words{2128 + 32768, 2000, 1, 3}));
  // The page's LastOffset and EntryCount, PrevLength and Length of the first
  // two entries, the SeqNo of the second, its first frame octet.
  const std::uint64_t page = PageOffset(0);
  EXPECT_EQ(WordsAt(rig, {page + 4, page + 32, page + 64, page + 64 + 62, page + 64 + 62 + 16}),
            (Words{2 * 62, 3, 62 << 16, 62 | 62 << 16, 2}));
  EXPECT_EQ(rig.Bytes()[page + 64 + 30], 0x68);
  // Stamped with today's date and the time base.
  rig.store.OpenReader();
  const double stamp = DayNumber(2026, 1, 5) + rig.timeBase.TimeOfDay();
  EXPECT_DOUBLE_EQ(rig.store.CurrentEntry().timeStamp, stamp);
  EXPECT_DOUBLE_EQ(rig.store.Index().firstTime, stamp);
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
  EXPECT_EQ((Words{rig.general.logSize, rig.port1.baud, rig.port2.baud}), (Words{1, 1200, 9600}));
  rig.Fill(1);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 6u);
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
  EXPECT_FALSE(rig.store.CreateLog(rig.Path("missing/KivoLog.kvl")));
  EXPECT_TRUE(rig.writeFailed);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_FALSE(rig.writeFailed);
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
  EXPECT_EQ(WordsAt(rig, {kHeaderSize, kLastSeqNo}), (Words{2000, 5}));  // closed properly

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
    EXPECT_EQ(WordsAt(rig, {PageOffset(0) + 32}), (Words{fits ? 112u : 111u}));  // EntryCount
    if (!fits) {
      EXPECT_EQ(WordsAt(rig, {PageOffset(1) + 64}), (Words{294 << 16}));  // a new chain
    }
  }
}

TEST(LogStorePaging, FullRingDropsTheOldestPageAndReadsFromIt) {
  StoreRig rig;
  rig.general.logSize = 1;  // 32 pages
  rig.store.CreateLog(rig.Path());
  rig.Fill(kPerPage * 31 + 3);
  rig.store.OpenReader();
  rig.store.SeekPage(0, false);
  rig.Fill(kPerPage * 3 - 2);  // 34 full pages; the next entry opens the 35th, page 2
  // The dropped page ended at 3 × 527; page 0 under the reader was overwritten.
  EXPECT_EQ(RingOf(rig.store), (Ring{3, 2, 3 * kPerPage + 1, 34 * kPerPage + 1, 1}));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 1u);  // from the reader's own copy
  rig.store.CloseReader();
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.Move(-1'000'000), -kPerPage * 31);
  EXPECT_EQ(rig.store.ReadPage(), 3u);
  std::uint32_t expected = rig.store.Index().firstSeqNo;
  ASSERT_EQ(rig.store.CurrentEntry().seqNo, expected);
  while (rig.store.StepForward()) ASSERT_EQ(rig.store.CurrentEntry().seqNo, ++expected);
  EXPECT_EQ(expected, rig.store.Index().lastSeqNo);
}

TEST(LogStoreAppend, LogFilterLeavesNoGapAndCountersFollowTheStatus) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  Words offered;
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
  EXPECT_EQ(offered, (Words{1, 2, 2, 3, 4, 5, 6}));
  EXPECT_EQ(rig.store.Index().lastSeqNo, 6u);
  EXPECT_EQ(rig.store.Queue().Count(), 6u);
  Words counted;  // telegrams and errors per channel
  for (const ChannelCounters& c : rig.store.Counters())
    counted.insert(counted.end(), {c.telegrams, c.errors});
  EXPECT_EQ(counted, (Words{3, 1, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(changed, (std::vector<int>{1, 1, 1, 4}));
}

TEST(LogStoreAppend, QueueOverflowDropsFourAndHoldsBackFixedFramesUntilCaughtUp) {
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
  EXPECT_EQ((Words{queue.Newest(0).seqNo, queue.Newest(1).seqNo}), (Words{18, 16}));
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
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 4u);
  rig.Fill(1);
  rig.store.SeekPage(1, true);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 5u);
}

TEST(LogStoreReader, StepsMovesAndSeeksAcrossPagesStopAtTheEnds) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(3 * kPerPage);
  rig.store.OpenReader();
  EXPECT_EQ(rig.store.EntryCount(), 3u * kPerPage);
  EXPECT_FALSE(rig.store.StepForward());  // at the newest entry: the cursor stays
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3u * kPerPage);
  ASSERT_TRUE(rig.store.SeekPage(1, false));
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 1u);
  EXPECT_TRUE(rig.store.StepBack());
  EXPECT_EQ(rig.store.ReadPage(), 0u);
  EXPECT_EQ(rig.store.Move(10), 10);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, kPerPage + 10u);
  EXPECT_EQ(rig.store.Move(-100000), -(kPerPage + 9));
  EXPECT_FALSE(rig.store.StepBack());
  EXPECT_EQ(rig.store.Move(5000), 3 * kPerPage - 1);
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
  EXPECT_EQ(rig.store.Move(30'000), static_cast<int>(20'000 - rig.store.CurrentEntry().seqNo));
}

TEST(LogStoreReader, FilteredMovesCountOnlyPassingEntries) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  // Channel 3 on every tenth entry from 15 on, 1,200 entries over three pages.
  for (int i = 1; i <= 1200; ++i) rig.store.Append(Telegram(30, (i >= 15 && i % 10 == 5) ? 3 : 1));
  rig.store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  rig.store.OpenReader();
  // Each move, and where it ends: across the page boundary at 1,054, then
  // nothing passes behind 15.
  for (const auto& [n, moved, at] : {std::tuple{-61, -61, 595u}, {3, 3, 625u}, {-1000, -61, 15u}}) {
    EXPECT_EQ(rig.store.Move(n), moved);
    EXPECT_EQ(rig.store.CurrentEntry().seqNo, at);
  }
  rig.store.SeekPage(0, false);  // on entry 1, which does not pass
  EXPECT_EQ(rig.store.Move(-1), 0);
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 15u);  // the nearest passing entry ahead
  EXPECT_EQ(rig.store.Move(-5000), -14);           // 5,000 and more ignore the filter
}

TEST(LogStoreDamage, DamagedPagesReadUpToTheirDamageAndAreCounted) {
  StoreRig rig;
  const std::string good = ThreePageLog(rig);
  using Read = std::pair<std::size_t, std::size_t>;  // entries, damaged pages
  const auto walk = [&](const std::string& bytes) {
    testing::WriteFile(rig.Path("walk.kvl"), bytes);
    EXPECT_TRUE(rig.store.OpenLog(rig.Path("walk.kvl"), false, LogOpenMode::ReadOnly));
    const Read read{FromOldest(rig.store).size(), rig.store.DamagedPages()};
    rig.store.CloseLog();
    return read;
  };
  EXPECT_EQ(walk(good), (Read{3 * kPerPage + 10, 0}));
  // Damage in page 1: LastOffset beyond the page, then in the sixth entry
  // Length 0, odd or beyond the page, a PrevLength that does not chain, a
  // ByteCount above 261.
  const std::size_t entry6 = PageOffset(1) + 64 + 5 * 62;
  const std::size_t at[] = {PageOffset(1) + 4, entry6 + 2, entry6 + 2,
                            entry6 + 2,        entry6,     entry6 + 6};
  const std::uint16_t value[] = {0xF000, 0, 61, 0xFFF0, 60, 262};
  for (std::size_t i = 0; i < 6; ++i) {
    std::string bytes = good;
    bytes[at[i]] = static_cast<char>(value[i] & 0xFF);
    bytes[at[i] + 1] = static_cast<char>(value[i] >> 8);
    EXPECT_EQ(walk(bytes), (Read{3 * kPerPage + 10 - (i == 0 ? 0 : kPerPage - 5), 1})) << i;
  }
  // Cut in page 2: pages 0 and 1 read, pages 2 and 3 count as damaged.
  EXPECT_EQ(walk(good.substr(0, PageOffset(2) + 1000)), (Read{2 * kPerPage, 2}));
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
  EXPECT_EQ(rig.store.CurrentEntry().seqNo, 3u * kPerPage + 4);
}

TEST(LogStoreRecovery, NeverFlushedLogIsContinuedFromItsIntactPages) {
  for (const bool torn : {false, true}) {
    StoreRig rig;
    {
      StoreRig writer;  // ends without a flush: HeaderSize 2,128 stays
      writer.store.CreateLog(rig.Path());
      writer.Fill(3 * kPerPage + 7);
    }
    std::string bytes = rig.Bytes();
    ASSERT_EQ(rig.U32At(bytes, kHeaderSize), 2128u);
    // The last page write was cut after 4,096 octets.
    if (torn) std::fill(bytes.begin() + PageOffset(2) + 4096, bytes.end(), 0);
    testing::WriteFile(rig.Path(), bytes);
    ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
    EXPECT_TRUE(rig.store.Recovered());
    const std::uint32_t pages = torn ? 2 : 3;
    EXPECT_EQ(RingOf(rig.store), (Ring{0, pages, 1, pages * kPerPage, 0}));
    rig.store.OpenReader();  // on the empty write page
    EXPECT_EQ(rig.store.Move(-100'000), -static_cast<int>(pages) * kPerPage);
    EXPECT_EQ(rig.store.DamagedPages(), 0u);
    rig.store.CloseReader();
    rig.Fill(1);
    rig.store.FlushLog();
    EXPECT_EQ(rig.U32At(rig.Bytes(), kHeaderSize), 2000u);
    rig.store.OpenReader();
    EXPECT_EQ(rig.store.CurrentEntry().seqNo, pages * kPerPage + 1);
  }
}

TEST(LogStoreRecovery, ContinuedLogIsMarkedUnflushedWhenItWritesAPage) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(10);
  rig.store.CloseLog();
  {
    StoreRig writer;
    ASSERT_TRUE(writer.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
    writer.Fill(kPerPage - 10);  // page 0 full, still in memory
    EXPECT_EQ(rig.U32At(rig.Bytes(), kHeaderSize), 2000u);
    writer.Fill(1 + kPerPage);  // pages 0 and 1 go to the file
    EXPECT_EQ(rig.U32At(rig.Bytes(), kHeaderSize), 2128u);
  }
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  EXPECT_EQ(rig.store.Index().lastSeqNo, 2u * kPerPage);
}

TEST(LogStoreCommands, SaveAsReadOnlyClearAndDailyChange) {
  StoreRig rig;
  rig.store.CreateLog(rig.Path());
  rig.Fill(kPerPage + 3);
  rig.store.CloseLog();
  ASSERT_TRUE(rig.store.SaveLogAs(rig.Path("copy.kvl")));
  EXPECT_EQ(rig.Bytes("copy.kvl"), rig.Bytes());
  EXPECT_EQ(rig.store.FileName(), rig.Path());
  EXPECT_FALSE(rig.store.SaveLogAs(rig.Path()));
  EXPECT_FALSE(std::filesystem::exists(rig.Path("copy.kvl.tmp")));

  // Read only: never written, not even by clearing.
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReadOnly));
  EXPECT_FALSE(rig.store.Append(Telegram(5)));
  EXPECT_FALSE(rig.store.ClearLog());
  rig.store.CloseLog();
  EXPECT_EQ(rig.Bytes(), rig.Bytes("copy.kvl"));

  // Clearing starts anew with the new size and leaves the reader open.
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
  rig.general.logSize = 2;
  ASSERT_TRUE(rig.store.ClearLog());
  EXPECT_EQ(rig.Bytes().size(), 2128u);
  EXPECT_EQ(WordsAt(rig, {kPageCount}), (Words{63}));
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
  EXPECT_TRUE(rig.store.ReaderOpen());
  rig.Fill(4);
  EXPECT_EQ(rig.store.Index().firstSeqNo, 1u);

  // The daily change closes the old log and starts the new one.
  ASSERT_TRUE(rig.store.ChangeDailyLog(rig.Path("KivoLog06.kvl")));
  EXPECT_EQ(WordsAt(rig, {kHeaderSize, kLastSeqNo}), (Words{2000, 4}));
  EXPECT_EQ(rig.Bytes("KivoLog06.kvl").size(), 2128u);
  EXPECT_EQ(rig.store.Queue().Count(), 0u);
}

}  // namespace
}  // namespace kivo
