// The log file: a 2,000-octet header with the parameters in force, a 128-octet
// index block and a ring of 32,768-octet pages of log entries.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "record/general_params.h"
#include "record/log_entry.h"
#include "record/port_params.h"
#include "util/bytes.h"

namespace kivo {

inline constexpr std::uint32_t kLogMagic = 0x4B000103;
inline constexpr std::uint32_t kLogHeaderSize = 2000;
inline constexpr std::uint32_t kLogIndexSize = 128;
inline constexpr std::uint32_t kLogPrefixSize = kLogHeaderSize + kLogIndexSize;  // 2,128
inline constexpr std::uint32_t kLogPageSize = 32768;
inline constexpr std::uint32_t kLogPageHeaderSize = 64;
// Entries end before the page's last octet: an entry may reach offset 32,766.
inline constexpr std::uint32_t kLogPageLimit = kLogPageSize - 1;
inline constexpr std::uint32_t kLogUnitSize = 1'024'000;
// The ring of the largest log size setting.
inline constexpr std::uint32_t kLogMaxPages =
    (GeneralParams::kMaxLogSize * kLogUnitSize + kLogPageSize) / kLogPageSize;
// The smallest stored entry: a head and no frame octets.
inline constexpr std::uint32_t kLogMinEntryLength = 32;

// Page count of a new log for a log size setting (units of 1,024,000 octets).
std::uint32_t PagesForLogSize(std::uint32_t logSize);
// File offset of page i.
inline std::uint64_t PageOffset(std::uint32_t page) {
  return kLogPrefixSize + static_cast<std::uint64_t>(page) * kLogPageSize;
}

struct TLogFileHeader {
  static constexpr std::size_t kSize = kLogHeaderSize;
  // HeaderSize of a file that was created or written to and not flushed since.
  static constexpr std::uint32_t kUnflushed = kLogPrefixSize;
  struct Offsets {
    static constexpr std::size_t Magic = 0, UsedBytes = 4, HeaderSize = 8, Reserved12 = 12,
                                 GeneralSettings = 16, Reserved596 = 596, Port1Settings = 1016,
                                 Port2Settings = 1160, Reserved1304 = 1304;
  };

  std::uint32_t magic = kLogMagic;
  std::uint32_t usedBytes = kLogPrefixSize;
  std::uint32_t headerSize = kUnflushed;
  std::array<std::uint8_t, 4> reserved12{};
  GeneralParams generalSettings;
  std::array<std::uint8_t, 420> reserved596{};
  PortParams port1Settings;
  PortParams port2Settings;
  std::array<std::uint8_t, 696> reserved1304{};

  void Encode(Bytes out) const;
  static TLogFileHeader Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TLogFileHeader&) const = default;
};

struct TLogIndex {
  static constexpr std::size_t kSize = kLogIndexSize;
  struct Offsets {
    static constexpr std::size_t BlockSize = 0, PageCount = 4, OldestPage = 8, CurrentPage = 12,
                                 UsedPages = 16, FirstSeqNo = 20, LastSeqNo = 24, FirstTime = 28,
                                 LastTime = 36, Reserved44 = 44, Overruns = 48, Reserved52 = 52;
  };

  std::uint32_t blockSize = kLogIndexSize;
  std::uint32_t pageCount = 0;
  std::uint32_t oldestPage = 0;
  std::uint32_t currentPage = 0;
  std::uint32_t usedPages = 0;
  std::uint32_t firstSeqNo = 0;
  std::uint32_t lastSeqNo = 0;
  double firstTime = 0.0;
  double lastTime = 0.0;
  std::array<std::uint8_t, 4> reserved44{};
  std::uint32_t overruns = 0;
  std::array<std::uint8_t, 76> reserved52{};

  // The ring fields lie inside the ring this index describes.
  bool RingInRange() const;
  std::uint32_t UsedPagesNow() const {
    return (currentPage + pageCount - oldestPage) % pageCount + 1;
  }

  void Encode(Bytes out) const;
  static TLogIndex Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TLogIndex&) const = default;
};

struct TLogPageHeader {
  static constexpr std::size_t kSize = kLogPageHeaderSize;
  struct Offsets {
    static constexpr std::size_t Reserved0 = 0, LastOffset = 4, FirstSeqNo = 8, LastSeqNo = 12,
                                 FirstTime = 16, LastTime = 24, EntryCount = 32, Reserved36 = 36;
  };

  std::array<std::uint8_t, 4> reserved0{};
  std::uint32_t lastOffset = 0;  // from page offset 64
  std::uint32_t firstSeqNo = 0;
  std::uint32_t lastSeqNo = 0;
  double firstTime = 0.0;
  double lastTime = 0.0;
  std::uint32_t entryCount = 0;
  std::array<std::uint8_t, 28> reserved36{};

  // A completed page of a log: a count that agrees with its numbers and fits
  // into one page, and a last entry that lies inside it.
  bool Plausible() const;

  void Encode(Bytes out) const;
  static TLogPageHeader Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TLogPageHeader&) const = default;
};

// One page as it stands in the file: the header and the packed entries.
struct TLogPage {
  static constexpr std::size_t kSize = kLogPageSize;
  alignas(8) std::array<std::uint8_t, kSize> bytes{};

  TLogPageHeader Header() const { return TLogPageHeader::Decode(ConstBytes(bytes).first(64)); }
  void SetHeader(const TLogPageHeader& header) { header.Encode(Bytes(bytes).first(64)); }
  std::uint16_t LengthAt(std::uint32_t offset) const { return GetU16(bytes, offset + 2); }
  std::uint16_t PrevLengthAt(std::uint32_t offset) const { return GetU16(bytes, offset); }
  void Clear() { bytes.fill(0); }
};

// What a walk along a page's entry chain found. Entries from offset 64 up to
// `lastEntry` are intact and chain both ways; anything after a break in the
// chain is not read.
struct PageScan {
  std::uint32_t count = 0;                       // intact entries
  std::uint32_t lastEntry = kLogPageHeaderSize;  // offset of the last intact entry
  bool damaged = false;
};

// Walks the entries of a page up to the one at the header's LastOffset,
// checking each entry's Length (not 0, even, within the page, agreeing with its
// ByteCount of at most 261) and PrevLength.
PageScan ScanPage(const TLogPage& page);
// The entry at `offset` of a scanned page, copied out of the page; the frame
// octets past those the page holds for it read as zeros. Only the first
// `dirty` frame octets of `entry` may be other than zero before the call;
// the return value is that count for the entry the call leaves, so a reader
// that fills one entry again and again passes on what the last call returned.
std::size_t ReadEntry(const TLogPage& page, std::uint32_t offset, TLogEntry& entry,
                      std::size_t dirty = TLogEntry::kFrameCapacity);

// Rebuilds the index of a log that was written to and never flushed, from the
// headers of the pages it wrote: the newest page (latest LastSeqNo) and the
// pages before it whose numbers continue one another form the log; writing
// continues in the page after the newest. `readPageHeader` returns nothing for
// a page that cannot be read (beyond the end of the file). A program killed
// while writing a page can leave it torn, its new header before old octets:
// the newest page must pass `pageIntact`, or it is dropped (twice at most).
TLogIndex RebuildIndex(
    std::uint32_t pageCount,
    const std::function<std::optional<TLogPageHeader>(std::uint32_t page)>& readPageHeader,
    const std::function<bool(std::uint32_t page)>& pageIntact);

}  // namespace kivo
