// The render cursor: a private copy of one log entry and the walking state
// with which the renderer reads its ASDU octet by octet. No read ever goes
// past the ASDU into checksum and end character; a read past it gives 0 and
// moves nothing.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "record/ft12.h"
#include "record/log_entry.h"

namespace kivo {

// A text in a rendered line that changes from telegram to telegram while the
// rest of the lines stays the same for equal telegrams.
enum class SlotKind : std::uint8_t {
  Number,        // the telegram number, grouped and right-justified (header, one-line form)
  SeqNo,         // the telegram number in plain digits (CSV)
  Time,          // time of day with milliseconds
  Delta,         // "d=...s" since the header line before
  Date,          // CSV date column
  Clock,         // CSV time column
  Millisecond,   // CSV millisecond column
  SetsPrevious,  // no text: the line is a header line and moves previousTime on (the last)
};
struct RenderSlot {
  std::uint16_t line = 0;  // the line of the telegram, counted from 0
  std::uint16_t offset = 0;
  std::uint16_t length = 0;
  SlotKind kind = SlotKind::Number;
};

struct RenderCursor {
  std::int32_t nameIndex = -1;
  std::uint32_t nameKey = 0;
  std::size_t parsePosition = ft12::at::kFun;  // index into entry.frame
  std::int32_t lineNumber = 0;
  std::int32_t subLine = 0;
  std::int32_t elementCount = 0;
  std::uint16_t indent = 0;
  std::string csvPrefix;
  // Where date, time and millisecond columns stand in csvPrefix.
  std::array<RenderSlot, 3> csvPrefixSlots{};
  std::uint8_t textColour = 0;
  std::uint8_t backgroundColour = 0;
  TLogEntry entry;
  // How far the element renderer has come: element lines produced and
  // continuation rows produced.
  std::int32_t elementStep = 0;
  std::int32_t continuationRow = 0;

  // Takes a copy of the entry and starts at the FUN octet; SeqNo becomes the
  // telegram number shown (relative to the first entry of the log).
  void Setup(const TLogEntry& logEntry, std::uint32_t firstSeqNo, std::uint16_t colourPair);
  // Takes a copy of the entry and the walking state of `at`, a cursor that
  // came as far in an entry whose octets so far are the same.
  void Resume(const RenderCursor& at, const TLogEntry& logEntry, std::uint32_t firstSeqNo);

  std::span<const std::uint8_t> Frame() const { return entry.Frame(); }
  // Octet i of the frame, 0 beyond its end.
  std::uint8_t FrameOctet(std::size_t i) const;
  // Where the ASDU of a variable frame ends: checksum and end character
  // follow.
  std::size_t AsduEnd() const {
    const std::size_t size = Frame().size();
    return size > ft12::kTrailer ? size - ft12::kTrailer : 0;
  }
  // Frame octet i when it lies in the ASDU; a short ASDU lacks the later
  // header fields.
  std::optional<std::uint8_t> AsduOctet(std::size_t i) const;
  // TYP, 0 (no type) when the ASDU is empty.
  std::uint8_t Typ() const { return AsduOctet(ft12::at::kTyp).value_or(0); }
  std::uint16_t ColourPair() const {
    return static_cast<std::uint16_t>(textColour | (backgroundColour << 8));
  }

  // Octets left before checksum and end character.
  std::size_t Left() const {
    const std::size_t end = AsduEnd();
    return parsePosition < end ? end - parsePosition : 0;
  }
  // Only checksum and end character remain (or less).
  bool Exhausted() const { return Left() == 0; }

  std::uint8_t ReadOctet();
  std::uint16_t ReadWord();
  std::uint32_t ReadLong();
  // k octets as they are (fewer when the ASDU ends first).
  std::span<const std::uint8_t> ReadOctets(std::size_t k) {
    const std::size_t n = std::min(k, Left());
    if (n == 0) return {};
    // Left() > 0: the octets lie before the end of the ASDU.
    const std::size_t from = parsePosition;
    parsePosition = from + n;
    return Frame().subspan(from, n);
  }
  // k octets of the whole frame, checksum and end character included: the
  // rows of a frame that is not decoded.
  std::span<const std::uint8_t> ReadFrameOctets(std::size_t k);
  void Skip(std::size_t k) { (void)ReadOctets(k); }
};

}  // namespace kivo
