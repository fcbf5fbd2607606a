// A log whose writer was killed in the middle of a run of pages: the next
// start continues it with every page that reached the file.
#include <signal.h>

#include <cstdio>

#include "log/log_store_fixture.h"
#include "pty/process_fixture.h"

namespace kivo::testing {
namespace {

// Runs the writer until it reported `pages` pages written, then kills it.
// Returns the last sequence number it reported.
std::uint32_t KillWriterAfter(const std::string& path, int pages, bool continueLog) {
  std::vector<std::string> args = {LOG_WRITER, path, "1"};
  if (continueLog) args.push_back("continue");
  Process writer = Spawn(args, {});
  int seen = 0;
  std::uint32_t lastSeqNo = 0;
  for (std::string line; seen < pages && !(line = ReadLine(writer.stdoutFd)).empty();) {
    unsigned page = 0, seq = 0;
    if (std::sscanf(line.c_str(), "page %u %u", &page, &seq) == 2) {
      ++seen;
      lastSeqNo = seq;
    }
  }
  // The writer is still appending: the kill lands somewhere in a page.
  ::kill(writer.pid, SIGKILL);
  EXPECT_EQ(WaitExit(writer, 10), 128 + SIGKILL);
  writer.CloseAll();
  EXPECT_EQ(seen, pages);
  return lastSeqNo;
}

// Every entry from the oldest to the newest, in unbroken numbering.
void ExpectUnbrokenFromOldest(LogStore& store) {
  store.OpenReader();
  ASSERT_TRUE(store.SeekPage(store.Index().oldestPage, false));
  std::uint32_t expected = store.Index().firstSeqNo;
  ASSERT_EQ(store.CurrentEntry().seqNo, expected);
  while (store.StepForward()) ASSERT_EQ(store.CurrentEntry().seqNo, ++expected);
  EXPECT_EQ(expected, store.Index().lastSeqNo);
  EXPECT_EQ(store.DamagedPages(), 0u);
  store.CloseReader();
}

TEST(LogCrash, KilledWriterLeavesALogThatIsContinued) {
  StoreRig rig;
  // 40 pages: a ring of 32 that has wrapped.
  const std::uint32_t reported = KillWriterAfter(rig.Path(), 40, false);
  ASSERT_EQ(rig.U32At(rig.Bytes(), 8), 2128u);

  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  const TLogIndex index = rig.store.Index();
  EXPECT_EQ(index.pageCount, 32u);
  EXPECT_GE(index.lastSeqNo, reported - 1);
  EXPECT_EQ(index.oldestPage, (index.currentPage + 1) % 32);
  ExpectUnbrokenFromOldest(rig.store);

  rig.store.Append(Telegram(12));
  EXPECT_EQ(rig.store.Index().lastSeqNo, index.lastSeqNo + 1);
  ASSERT_TRUE(rig.store.CloseLog());
  EXPECT_EQ(rig.U32At(rig.Bytes(), 8), 2000u);
  EXPECT_EQ(rig.Bytes().size(), PageOffset(32));
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::KeepUnusable));
  EXPECT_FALSE(rig.store.Recovered());
  ExpectUnbrokenFromOldest(rig.store);
}

TEST(LogCrash, KilledWriterOfAContinuedLogLosesOnlyItsLastPage) {
  StoreRig rig;
  rig.general.logSize = 1;
  rig.store.CreateLog(rig.Path());
  for (int i = 0; i < 2000; ++i) rig.store.Append(Telegram(40));
  ASSERT_TRUE(rig.store.CloseLog());

  const std::uint32_t reported = KillWriterAfter(rig.Path(), 10, true);
  ASSERT_TRUE(rig.store.OpenLog(rig.Path(), false, LogOpenMode::ReplaceUnusable));
  EXPECT_TRUE(rig.store.Recovered());
  // The writer may have wrapped the ring before the kill reached it.
  EXPECT_TRUE(rig.store.Index().firstSeqNo == 1 ||
              rig.store.Index().oldestPage == (rig.store.Index().currentPage + 1) % 32);
  EXPECT_GE(rig.store.Index().lastSeqNo, reported - 1);
  ExpectUnbrokenFromOldest(rig.store);
}

}  // namespace
}  // namespace kivo::testing
