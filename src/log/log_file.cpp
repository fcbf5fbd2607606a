#include "log/log_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "util/record_io.h"

namespace kivo {

namespace {

constexpr std::uint32_t kMaxEntriesPerPage =
    (kLogPageLimit - kLogPageHeaderSize) / kLogMinEntryLength;

std::uint16_t StoredLengthFor(std::uint16_t byteCount) {
  return static_cast<std::uint16_t>((byteCount + kLogMinEntryLength + 1) & ~1u);
}

}  // namespace

std::uint32_t PagesForLogSize(std::uint32_t logSize) {
  const std::uint64_t units = std::min(logSize, GeneralParams::kMaxLogSize);
  return static_cast<std::uint32_t>((units * kLogUnitSize + kLogPageSize) / kLogPageSize);
}

template <typename Io, typename Self>
void TLogFileHeader::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Magic, r.magic);
  io.U32(O::UsedBytes, r.usedBytes);
  io.U32(O::HeaderSize, r.headerSize);
  io.Raw(O::Reserved12, r.reserved12);
  io.Record(O::GeneralSettings, r.generalSettings);
  io.Raw(O::Reserved596, r.reserved596);
  io.Record(O::Port1Settings, r.port1Settings);
  io.Record(O::Port2Settings, r.port2Settings);
  io.Raw(O::Reserved1304, r.reserved1304);
}

void TLogFileHeader::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TLogFileHeader TLogFileHeader::Decode(ConstBytes in) {
  return DecodeFields<TLogFileHeader>(in);
}

template <typename Io, typename Self>
void TLogIndex::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::BlockSize, r.blockSize);
  io.U32(O::PageCount, r.pageCount);
  io.U32(O::OldestPage, r.oldestPage);
  io.U32(O::CurrentPage, r.currentPage);
  io.U32(O::UsedPages, r.usedPages);
  io.U32(O::FirstSeqNo, r.firstSeqNo);
  io.U32(O::LastSeqNo, r.lastSeqNo);
  io.F64(O::FirstTime, r.firstTime);
  io.F64(O::LastTime, r.lastTime);
  io.Raw(O::Reserved44, r.reserved44);
  io.U32(O::Overruns, r.overruns);
  io.Raw(O::Reserved52, r.reserved52);
}

void TLogIndex::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TLogIndex TLogIndex::Decode(ConstBytes in) {
  return DecodeFields<TLogIndex>(in);
}

bool TLogIndex::RingInRange() const {
  return pageCount >= 1 && pageCount <= kLogMaxPages && oldestPage < pageCount &&
         currentPage < pageCount;
}

template <typename Io, typename Self>
void TLogPageHeader::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.Raw(O::Reserved0, r.reserved0);
  io.U32(O::LastOffset, r.lastOffset);
  io.U32(O::FirstSeqNo, r.firstSeqNo);
  io.U32(O::LastSeqNo, r.lastSeqNo);
  io.F64(O::FirstTime, r.firstTime);
  io.F64(O::LastTime, r.lastTime);
  io.U32(O::EntryCount, r.entryCount);
  io.Raw(O::Reserved36, r.reserved36);
}

void TLogPageHeader::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TLogPageHeader TLogPageHeader::Decode(ConstBytes in) {
  return DecodeFields<TLogPageHeader>(in);
}

bool TLogPageHeader::Plausible() const {
  return entryCount >= 1 && entryCount <= kMaxEntriesPerPage &&
         entryCount == lastSeqNo - firstSeqNo + 1 && lastOffset % 2 == 0 &&
         lastOffset <= kLogPageLimit - kLogPageHeaderSize - kLogMinEntryLength;
}

PageScan ScanPage(const TLogPage& page) {
  PageScan scan;
  const std::uint32_t lastOffset = GetU32(page.bytes, TLogPageHeader::Offsets::LastOffset);
  // Where the chain has to end; a LastOffset that cannot hold an entry is
  // itself damage, and the chain is then read as far as it holds.
  std::uint64_t target = std::uint64_t{kLogPageHeaderSize} + lastOffset;
  if (target + kLogMinEntryLength > kLogPageLimit || lastOffset % 2 != 0) {
    scan.damaged = true;
    target = UINT64_MAX;
  }
  if (page.LengthAt(kLogPageHeaderSize) == 0) {
    scan.damaged = scan.damaged || lastOffset != 0;
    return scan;
  }
  std::uint32_t offset = kLogPageHeaderSize;
  std::uint16_t previous = 0;
  for (;;) {
    if (offset + kLogMinEntryLength > kLogPageLimit) {
      scan.damaged = true;
      break;
    }
    const std::uint16_t length = page.LengthAt(offset);
    const std::uint16_t byteCount = GetU16(page.bytes, offset + TLogEntry::Offsets::ByteCount);
    if (length == 0 || offset + length > kLogPageLimit || page.PrevLengthAt(offset) != previous ||
        byteCount > TLogEntry::kMaxByteCount || length != StoredLengthFor(byteCount)) {
      // A zero Length right after the last intact entry ends a chain whose
      // LastOffset was already found damaged; anything else is a break.
      scan.damaged = true;
      break;
    }
    ++scan.count;
    scan.lastEntry = offset;
    if (offset == target) break;
    previous = length;
    offset += length;
    if (offset > target) {
      scan.damaged = true;
      break;
    }
  }
  return scan;
}

std::size_t ReadEntry(const TLogPage& page, std::uint32_t offset, TLogEntry& entry,
                      std::size_t dirty) {
  // Every entry an export or a redraw reads passes through here, so only the
  // octets the entry has are copied, and only the frame octets that an
  // earlier entry left behind are cleared.
  std::size_t available = 0;  // octets of the entry in the page, at most one buffer
  if (offset + TLogEntry::kHeadSize <= page.bytes.size()) {
    available = std::min<std::size_t>(
        {page.LengthAt(offset), TLogEntry::kBufferSize, page.bytes.size() - offset});
  }
  if (available >= TLogEntry::kHeadSize) {
    const std::size_t frameOctets = available - TLogEntry::kHeadSize;
    if constexpr (kLogEntryAsStored) {
      // Head and frame octets as they are stored, in one copy.
      std::memcpy(static_cast<void*>(&entry), page.bytes.data() + offset, available);
    } else {
      TLogEntry::DecodeHeadInto(ConstBytes(page.bytes).subspan(offset, TLogEntry::kHeadSize),
                                entry);
      std::copy_n(page.bytes.begin() + offset + TLogEntry::kHeadSize, frameOctets,
                  entry.frame.begin());
    }
    dirty = std::min(dirty, TLogEntry::kFrameCapacity);
    if (dirty > frameOctets) {
      std::fill(entry.frame.begin() + static_cast<std::ptrdiff_t>(frameOctets),
                entry.frame.begin() + static_cast<std::ptrdiff_t>(dirty), 0);
    }
    return frameOctets;
  }
  // A head cut short by its Length or by the end of the page: what there is,
  // and zeros.
  std::array<std::uint8_t, TLogEntry::kBufferSize> buffer{};
  if (available > 0) std::copy_n(page.bytes.begin() + offset, available, buffer.begin());
  TLogEntry::DecodeInto(buffer, entry);
  return 0;
}

TLogIndex RebuildIndex(
    std::uint32_t pageCount,
    const std::function<std::optional<TLogPageHeader>(std::uint32_t page)>& readPageHeader,
    const std::function<bool(std::uint32_t page)>& pageIntact) {
  TLogIndex index;
  index.pageCount = pageCount;
  if (pageCount == 0 || pageCount > kLogMaxPages) return index;
  std::vector<std::optional<TLogPageHeader>> headers(pageCount);
  for (std::uint32_t page = 0; page < pageCount; ++page) {
    std::optional<TLogPageHeader> header = readPageHeader(page);
    if (header && header->Plausible()) headers[page] = header;
  }
  // The numbers of one log lie within far less than 2^31 of one another, so
  // "later" is decided modulo 2^32 and holds across the wrap of the counter.
  auto later = [](std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) > 0;
  };
  auto findNewest = [&] {
    std::optional<std::uint32_t> found;
    for (std::uint32_t page = 0; page < pageCount; ++page) {
      if (headers[page] &&
          (!found || later(headers[page]->lastSeqNo, headers[*found]->lastSeqNo))) {
        found = page;
      }
    }
    return found;
  };
  std::optional<std::uint32_t> newest = findNewest();
  for (int dropped = 0; newest && dropped < 2 && !pageIntact(*newest); ++dropped) {
    headers[*newest].reset();
    newest = findNewest();
  }
  if (!newest) return index;

  const TLogPageHeader& last = *headers[*newest];
  index.currentPage = (*newest + 1) % pageCount;
  index.lastSeqNo = last.lastSeqNo;
  index.lastTime = last.lastTime;
  if (pageCount == 1) {
    // The only page is the one writing continues in: nothing is left before it.
    index.oldestPage = 0;
    index.firstSeqNo = last.lastSeqNo + 1;
    index.firstTime = last.lastTime;
    return index;
  }
  std::uint32_t oldest = *newest;
  for (;;) {
    const std::uint32_t before = (oldest + pageCount - 1) % pageCount;
    if (before == index.currentPage || !headers[before] ||
        headers[before]->lastSeqNo + 1 != headers[oldest]->firstSeqNo) {
      break;
    }
    oldest = before;
  }
  index.oldestPage = oldest;
  index.firstSeqNo = headers[oldest]->firstSeqNo;
  index.firstTime = headers[oldest]->firstTime;
  return index;
}

}  // namespace kivo
