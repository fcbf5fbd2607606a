// The log file records against their documented offsets, and the walk along a
// page's entry chain over intact and damaged pages.
#include "log/log_file.h"

#include <gtest/gtest.h>

#include "util/record_testing.h"

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace kivo {
namespace {

using testing::EncodeRecord;
using testing::ExpectRoundTripOfRandomBytes;
using testing::PutLe;
using testing::PutDouble;

TEST(LogFileRecords, HeaderCarriesSettingsCopiesAtTheirOffsets) {
  TLogFileHeader header;
  header.usedBytes = 2128 + 3 * 32768;
  header.headerSize = 2000;
  header.generalSettings.logSize = 7;
  header.port1Settings.baud = 19200;
  header.port2Settings.portNumber = 5;
  std::vector<std::uint8_t> bytes = EncodeRecord(header);
  ASSERT_EQ(bytes.size(), 2000u);
  std::vector<std::uint8_t> expected(2000, 0);
  PutLe(expected, 0, 0x4B000103);
  PutLe(expected, 4, 2128 + 3 * 32768);
  PutLe(expected, 8, 2000);
  std::vector<std::uint8_t> general(580), port1(144), port2(144);
  header.generalSettings.Encode(general);
  header.port1Settings.Encode(port1);
  header.port2Settings.Encode(port2);
  std::copy(general.begin(), general.end(), expected.begin() + 16);
  std::copy(port1.begin(), port1.end(), expected.begin() + 1016);
  std::copy(port2.begin(), port2.end(), expected.begin() + 1160);
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes[16 + 88], 7);    // log size inside the general block
  EXPECT_EQ(bytes[1016], 144);     // size word of the port 1 block
  EXPECT_EQ(bytes[1160 + 12], 5);  // port number of port 2
}

TEST(LogFileRecords, IndexFieldsAtTheirOffsets) {
  TLogIndex index;
  index.pageCount = 313;
  index.oldestPage = 4;
  index.currentPage = 3;
  index.usedPages = 313;
  index.firstSeqNo = 0x01020304;
  index.lastSeqNo = 0x0A0B0C0D;
  index.firstTime = 46000.25;
  index.lastTime = 46001.5;
  index.overruns = 9;
  std::vector<std::uint8_t> expected(128, 0);
  PutLe(expected, 0, 128);
  PutLe(expected, 4, 313);
  PutLe(expected, 8, 4);
  PutLe(expected, 12, 3);
  PutLe(expected, 16, 313);
  PutLe(expected, 20, 0x01020304);
  PutLe(expected, 24, 0x0A0B0C0D);
  PutDouble(expected, 28, 46000.25);
  PutDouble(expected, 36, 46001.5);
  PutLe(expected, 48, 9);
  EXPECT_EQ(EncodeRecord(index), expected);
}

TEST(LogFileRecords, PageHeaderFieldsAtTheirOffsets) {
  TLogPageHeader header;
  header.lastOffset = 0x1234;
  header.firstSeqNo = 11;
  header.lastSeqNo = 20;
  header.firstTime = 1.25;
  header.lastTime = 2.5;
  header.entryCount = 10;
  std::vector<std::uint8_t> expected(64, 0);
  PutLe(expected, 4, 0x1234);
  PutLe(expected, 8, 11);
  PutLe(expected, 12, 20);
  PutDouble(expected, 16, 1.25);
  PutDouble(expected, 24, 2.5);
  PutLe(expected, 32, 10);
  EXPECT_EQ(EncodeRecord(header), expected);
}

TEST(LogFileRecords, RandomBytesSurviveDecodeAndEncode) {
  ExpectRoundTripOfRandomBytes<TLogFileHeader>();
  ExpectRoundTripOfRandomBytes<TLogIndex>();
  ExpectRoundTripOfRandomBytes<TLogPageHeader>();
}

TEST(LogFileRecords, PageCountsAndSizes) {
  EXPECT_EQ(PageOffset(PagesForLogSize(10)), 10'258'512u);  // the default log's file size
  EXPECT_EQ(PagesForLogSize(5000), 62'501u);                // cut to the largest setting
}

// --- Page chains ---

// Builds a page of entries with the given frame lengths, chained as written.
struct PageBuilder {
  TLogPage page;
  std::vector<std::uint32_t> offsets;

  explicit PageBuilder(std::vector<std::uint16_t> byteCounts) {
    std::uint32_t at = 64;
    std::uint16_t previous = 0;
    std::uint32_t seq = 100;
    for (std::uint16_t count : byteCounts) {
      const std::uint16_t length = static_cast<std::uint16_t>((count + 33) & ~1u);
      PutU16(page.bytes, at, previous);
      PutU16(page.bytes, at + 2, length);
      PutU16(page.bytes, at + 6, count);
      PutU32(page.bytes, at + 16, seq++);
      offsets.push_back(at);
      previous = length;
      at += length;
    }
    TLogPageHeader header;
    header.lastOffset = offsets.empty() ? 0 : offsets.back() - 64;
    header.firstSeqNo = 100;
    header.lastSeqNo = seq - 1;
    header.entryCount = static_cast<std::uint32_t>(byteCounts.size());
    page.SetHeader(header);
  }
  void SetLastOffset(std::uint32_t v) { PutU32(page.bytes, 4, v); }
};

TEST(PageScan, EmptyPageIsNotDamaged) {
  PageBuilder b({});
  PageScan scan = ScanPage(b.page);
  EXPECT_FALSE(scan.damaged);
  EXPECT_EQ(scan.count, 0u);
  b.SetLastOffset(38);  // claims entries that are not there
  EXPECT_TRUE(ScanPage(b.page).damaged);
}

TEST(PageScan, DamagedPagesReadUpToTheDamage) {
  struct Case {
    const char* what;
    std::function<void(PageBuilder&)> damage;
    std::uint32_t intact;
  };
  const std::vector<Case> cases = {
      {"LastOffset beyond the page", [](PageBuilder& b) { b.SetLastOffset(40000); }, 4},
      {"LastOffset odd", [](PageBuilder& b) { b.SetLastOffset(b.offsets[3] - 64 + 1); }, 4},
      {"LastOffset between entries", [](PageBuilder& b) { b.SetLastOffset(b.offsets[2] - 60); }, 3},
      {"Length 0 inside the chain",
       [](PageBuilder& b) { PutU16(b.page.bytes, b.offsets[2] + 2, 0); }, 2},
      {"odd Length", [](PageBuilder& b) { PutU16(b.page.bytes, b.offsets[1] + 2, 41); }, 1},
      {"Length beyond the page",
       [](PageBuilder& b) { PutU16(b.page.bytes, b.offsets[3] + 2, 0xFFFE); }, 3},
      {"Length not matching ByteCount",
       [](PageBuilder& b) { PutU16(b.page.bytes, b.offsets[1] + 2, 64); }, 1},
      {"PrevLength not chaining", [](PageBuilder& b) { PutU16(b.page.bytes, b.offsets[2], 2); }, 2},
      {"first PrevLength not 0", [](PageBuilder& b) { PutU16(b.page.bytes, 64, 38); }, 0},
      {"ByteCount above 261",
       [](PageBuilder& b) {
         PutU16(b.page.bytes, b.offsets[3] + 6, 300);
         PutU16(b.page.bytes, b.offsets[3] + 2, 332);
       },
       3},
  };
  for (const Case& c : cases) {
    PageBuilder b({5, 6, 7, 8});
    c.damage(b);
    PageScan scan = ScanPage(b.page);
    EXPECT_TRUE(scan.damaged) << c.what;
    EXPECT_EQ(scan.count, c.intact) << c.what;
    if (c.intact > 0) {
      EXPECT_EQ(scan.lastEntry, b.offsets[c.intact - 1]) << c.what;
    }
  }
}

TEST(PageScan, EntryNearThePageEndIsCopiedWithoutReadingBeyond) {
  TLogPage page;
  const std::uint32_t at = kLogPageSize - 40;
  PutU16(page.bytes, at + 2, 0xFFFF);
  PutU32(page.bytes, at + 16, 77);
  TLogEntry entry;
  ReadEntry(page, at, entry);
  EXPECT_EQ(entry.seqNo, 77u);
}

// --- Index of an unflushed log ---

TLogPageHeader Page(std::uint32_t first, std::uint32_t last) {
  TLogPageHeader h;
  h.firstSeqNo = first;
  h.lastSeqNo = last;
  h.entryCount = last - first + 1;
  h.firstTime = first;
  h.lastTime = last;
  return h;
}

TLogIndex Rebuild(std::uint32_t n, const std::map<std::uint32_t, TLogPageHeader>& pages,
                  std::set<std::uint32_t> torn = {}) {
  return RebuildIndex(
      n,
      [&](std::uint32_t p) -> std::optional<TLogPageHeader> {
        auto it = pages.find(p);
        if (it == pages.end()) return std::nullopt;
        return it->second;
      },
      [&](std::uint32_t p) { return torn.count(p) == 0; });
}

TEST(RebuildIndex, WrappedRingStartsAfterThePageBeingWritten) {
  // Five pages; page 0 was rewritten after the wrap, page 1 was in memory.
  TLogIndex index = Rebuild(5, {{0, Page(501, 600)},
                                {1, Page(101, 200)},
                                {2, Page(201, 300)},
                                {3, Page(301, 400)},
                                {4, Page(401, 500)}});
  EXPECT_EQ(index.currentPage, 1u);
  EXPECT_EQ(index.oldestPage, 2u);
  EXPECT_EQ(index.firstSeqNo, 201u);
  EXPECT_EQ(index.lastSeqNo, 600u);
}

TEST(RebuildIndex, ChainStopsAtAGapOrAnImplausiblePage) {
  TLogPageHeader broken = Page(51, 90);
  broken.entryCount = 3;
  TLogIndex index = Rebuild(10, {{0, Page(1, 50)}, {1, broken}, {2, Page(91, 140)}});
  EXPECT_EQ(index.oldestPage, 2u);
  EXPECT_EQ(index.firstSeqNo, 91u);
  index = Rebuild(10, {{0, Page(1, 50)}, {1, Page(52, 90)}, {2, Page(91, 140)}});
  EXPECT_EQ(index.oldestPage, 1u);
}

TEST(RebuildIndex, TornNewestPageIsWrittenAgain) {
  TLogIndex index = Rebuild(10, {{0, Page(1, 50)}, {1, Page(51, 90)}, {2, Page(91, 140)}}, {2});
  EXPECT_EQ(index.currentPage, 2u);
  EXPECT_EQ(index.lastSeqNo, 90u);
  EXPECT_EQ(index.firstSeqNo, 1u);
}

}  // namespace
}  // namespace kivo
