#include "asdu/render_cursor.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace kivo {

void RenderCursor::Setup(const TLogEntry& logEntry, std::uint32_t firstSeqNo,
                         std::uint16_t colourPair) {
  entry = logEntry;
  entry.seqNo = logEntry.seqNo - firstSeqNo + 1;
  nameIndex = -1;
  nameKey = 0;
  lineNumber = 0;
  subLine = 0;
  elementStep = 0;
  continuationRow = 0;
  indent = 0;
  csvPrefix.clear();
  elementCount = AsduOctet(ft12::at::kVsq).value_or(0) & ft12::kVsqCountMask;
  parsePosition = ft12::at::kFun;
  textColour = static_cast<std::uint8_t>(colourPair & 0xFF);
  backgroundColour = static_cast<std::uint8_t>(colourPair >> 8);
}

void RenderCursor::Resume(const RenderCursor& at, const TLogEntry& logEntry,
                          std::uint32_t firstSeqNo) {
  // The fields, and of the frame's buffer only the octets of the frame:
  // nothing reads past them.
  static_assert(std::is_standard_layout_v<TLogEntry> && std::is_trivially_copyable_v<TLogEntry>);
  std::memcpy(static_cast<void*>(&entry), &logEntry, offsetof(TLogEntry, frame));
  const auto frame = logEntry.Frame();
  std::copy(frame.begin(), frame.end(), entry.frame.begin());
  entry.seqNo = logEntry.seqNo - firstSeqNo + 1;
  nameIndex = at.nameIndex;
  nameKey = at.nameKey;
  lineNumber = at.lineNumber;
  subLine = at.subLine;
  elementStep = at.elementStep;
  continuationRow = at.continuationRow;
  indent = at.indent;
  csvPrefix = at.csvPrefix;
  csvPrefixSlots = at.csvPrefixSlots;
  elementCount = at.elementCount;
  parsePosition = at.parsePosition;
  textColour = at.textColour;
  backgroundColour = at.backgroundColour;
}

std::uint8_t RenderCursor::FrameOctet(std::size_t i) const {
  const auto frame = Frame();
  return i < frame.size() ? frame[i] : 0;
}

std::optional<std::uint8_t> RenderCursor::AsduOctet(std::size_t i) const {
  if (i < ft12::at::kTyp || i >= AsduEnd()) return std::nullopt;
  return Frame()[i];
}

std::uint8_t RenderCursor::ReadOctet() {
  if (Exhausted()) return 0;
  return Frame()[parsePosition++];
}

std::uint16_t RenderCursor::ReadWord() {
  const std::uint16_t low = ReadOctet();
  return static_cast<std::uint16_t>(low | (ReadOctet() << 8));
}

std::uint32_t RenderCursor::ReadLong() {
  const std::uint32_t low = ReadWord();
  return low | (static_cast<std::uint32_t>(ReadWord()) << 16);
}

std::span<const std::uint8_t> RenderCursor::ReadFrameOctets(std::size_t k) {
  const auto frame = Frame();
  const std::size_t from = std::min(parsePosition, frame.size());
  const std::size_t n = std::min(k, frame.size() - from);
  parsePosition = from + n;
  return frame.subspan(from, n);
}

}  // namespace kivo
