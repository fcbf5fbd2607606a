// The receive assembler: cuts the octets of a line into frames by their start
// character, length octets and, on a gap-monitor port, the character gap.
// Fed one octet at a time, it reports that it needs more, that a frame is
// complete, or that a run of octets is no frame (with the reason). It knows
// nothing of time: the serial path flushes it when the character gap has
// passed or a line error ends a batch.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "record/log_entry.h"

namespace kivo {

class ReceiveAssembler {
 public:
  // Octets gathered outside a frame before they are ended as one run.
  static constexpr std::uint16_t kOutsideFrameCount = 32;

  enum class Result : std::uint8_t { NeedMore, Frame, InvalidRun };
  enum class Reason : std::uint8_t {
    None,
    NoStartCharacter,  // octets outside any frame
    BadHeader,         // a 0x68 frame whose header octets disagree or whose length is below 5
    Cut,               // a frame ended early by the gap or a line error
  };
  struct Step {
    Result result = Result::NeedMore;
    // False when the octet ended the run gathered before it and must be fed
    // again once that run was taken.
    bool consumed = true;
  };

  // A gap-monitor port takes every octet into frames of up to `frameLength`
  // octets (clamped to 1..261) that only the gap or the length ends.
  void Configure(bool gapMonitor, std::uint32_t frameLength);

  Step Feed(std::uint8_t octet);
  // Ends what is gathered: a gap-monitor frame, a frame cut short or a run
  // outside any frame. NeedMore when nothing is gathered.
  Result Flush();

  // The unit the last Feed or Flush completed, until Clear() or the next
  // Feed; while nothing is complete, what is gathered so far.
  std::span<const std::uint8_t> Octets() const { return {octets_.data(), count_}; }
  Reason reason() const { return reason_; }
  bool Empty() const { return count_ == 0; }
  std::uint16_t Count() const { return count_; }
  // Drops what is gathered or complete.
  void Clear();

 private:
  enum class State : std::uint8_t {
    Idle,       // nothing gathered
    Gathering,  // octets outside any frame
    Header,     // 0x68 frame, waiting for its four header octets
    Body,       // frame with a known length
    GapFrame,   // gap-monitor port: octets until gap or telegram length
    Complete,   // a unit waits to be taken
  };

  State state_ = State::Idle;
  bool gapMonitor_ = false;
  std::uint16_t gapFrameLength_ = TLogEntry::kMaxByteCount;
  std::uint16_t expected_ = kOutsideFrameCount;
  std::uint16_t count_ = 0;
  Reason reason_ = Reason::None;
  std::array<std::uint8_t, TLogEntry::kMaxByteCount> octets_{};

  void Append(std::uint8_t octet);
  Result Complete(Result result, Reason reason);
  Step StartFrame(std::uint8_t octet);
};

}  // namespace kivo
