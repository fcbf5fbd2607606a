// TLogEntry: one logged frame or line event, in memory, in the online queue
// and in the log file.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

#include "util/bytes.h"

namespace kivo {

enum FrameKind : std::uint8_t {
  kFrameOther = 0,
  kFrameFixed = 2,     // 0x10 frame or the single character 0xE5
  kFrameVariable = 3,  // 0x68 frame
  kFrameEvent = 4,
};

struct TLogEntry {
  static constexpr std::size_t kHeadSize = 30;
  static constexpr std::size_t kBufferSize = 302;  // every buffer holding one entry
  static constexpr std::size_t kFrameCapacity = kBufferSize - kHeadSize;  // 272
  static constexpr std::uint16_t kMaxByteCount = 261;  // the longest FT 1.2 frame
  struct Offsets {
    static constexpr std::size_t PrevLength = 0, Length = 2, Status = 4, FrameKind = 5,
                                 ByteCount = 6, TimeStamp = 8, SeqNo = 16, LinkAddress = 20,
                                 Reserved22 = 22, Channel = 24, Control = 25, Reserved26 = 26,
                                 Frame = 30;
  };

  std::uint16_t prevLength = 0;
  std::uint16_t length = 0;
  std::uint8_t status = 0;
  std::uint8_t frameKind = kFrameOther;
  std::uint16_t byteCount = 0;
  double timeStamp = 0.0;
  std::uint32_t seqNo = 0;
  std::uint16_t linkAddress = 0;
  std::array<std::uint8_t, 2> reserved22{};
  std::uint8_t channel = 0;
  std::uint8_t control = 0;
  std::array<std::uint8_t, 4> reserved26{};
  std::array<std::uint8_t, kFrameCapacity> frame{};

  // The frame octets that are really there: ByteCount, never past the buffer.
  std::span<const std::uint8_t> Frame() const {
    return {frame.data(), byteCount < kFrameCapacity ? byteCount : kFrameCapacity};
  }
  std::span<std::uint8_t> Frame() {
    return {frame.data(), byteCount < kFrameCapacity ? byteCount : kFrameCapacity};
  }
  // Sets the frame octets (cut to the buffer) and ByteCount.
  void SetFrame(std::span<const std::uint8_t> octets);
  // The stored length: ByteCount + 32, rounded up to an even number.
  std::uint16_t StoredLength() const;

  // The whole 302-octet buffer form (head and frame buffer).
  void Encode(Bytes out) const;
  static TLogEntry Decode(ConstBytes in);
  // Decode into an entry that exists already, without a temporary.
  static void DecodeInto(ConstBytes in, TLogEntry& entry);
  // Decode the kHeadSize octets of the head alone; the frame stays as it is.
  static void DecodeHeadInto(ConstBytes in, TLogEntry& entry);
  template <typename Io, typename Self>
  static void HeadFields(Io& io, Self& r);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  static constexpr std::size_t kSize = kBufferSize;
  bool operator==(const TLogEntry&) const = default;
};

// On a little-endian machine the fields lie in memory as the stored entry
// holds them, head and frame: an entry is read with one copy.
inline constexpr bool kLogEntryAsStored =
    std::endian::native == std::endian::little && std::numeric_limits<double>::is_iec559 &&
    std::is_standard_layout_v<TLogEntry> && std::is_trivially_copyable_v<TLogEntry> &&
    offsetof(TLogEntry, prevLength) == TLogEntry::Offsets::PrevLength &&
    offsetof(TLogEntry, length) == TLogEntry::Offsets::Length &&
    offsetof(TLogEntry, status) == TLogEntry::Offsets::Status &&
    offsetof(TLogEntry, frameKind) == TLogEntry::Offsets::FrameKind &&
    offsetof(TLogEntry, byteCount) == TLogEntry::Offsets::ByteCount &&
    offsetof(TLogEntry, timeStamp) == TLogEntry::Offsets::TimeStamp &&
    offsetof(TLogEntry, seqNo) == TLogEntry::Offsets::SeqNo &&
    offsetof(TLogEntry, linkAddress) == TLogEntry::Offsets::LinkAddress &&
    offsetof(TLogEntry, reserved22) == TLogEntry::Offsets::Reserved22 &&
    offsetof(TLogEntry, channel) == TLogEntry::Offsets::Channel &&
    offsetof(TLogEntry, control) == TLogEntry::Offsets::Control &&
    offsetof(TLogEntry, reserved26) == TLogEntry::Offsets::Reserved26 &&
    offsetof(TLogEntry, frame) == TLogEntry::Offsets::Frame &&
    sizeof(TLogEntry) >= TLogEntry::kBufferSize;

}  // namespace kivo
