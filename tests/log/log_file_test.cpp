// The page count of a log size, the walk along a page's entry chain and the
// index rebuilt from the pages of an unflushed log.
#include "log/log_file.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

namespace kivo {
namespace {

TEST(LogFile, PageCountsFollowTheLogSize) {
  EXPECT_EQ(PageOffset(PagesForLogSize(10)), 10'258'512u);  // the default log's file size
  EXPECT_EQ(PagesForLogSize(5000), 62'501u);                // cut to the largest setting
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
using Ring = std::array<std::uint32_t, 4>;
Ring Rebuild(std::uint32_t pageCount, const std::vector<TLogPageHeader>& pages,
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
      (Ring{2, 1, 201, 600}));
  EXPECT_EQ(Rebuild(10, {Page(1, 50), Page(52, 90), Page(91, 140)}), (Ring{1, 3, 52, 140}));
  const TLogPageHeader implausible = Page(51, 90, 3);
  EXPECT_EQ(Rebuild(10, {Page(1, 50), implausible, Page(91, 140)}), (Ring{2, 3, 91, 140}));
  const std::set<std::uint32_t> torn = {2};
  EXPECT_EQ(Rebuild(10, {Page(1, 50), Page(51, 90), Page(91, 140)}, torn), (Ring{0, 2, 1, 90}));
}

}  // namespace
}  // namespace kivo
