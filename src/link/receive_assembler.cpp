#include "link/receive_assembler.h"

#include <algorithm>

#include "record/ft12.h"

namespace kivo {

namespace {

constexpr std::uint16_t kVariableHeader = 4;  // 68 L L 68
constexpr std::uint8_t kShortestUserLength = 5;

bool IsStartCharacter(std::uint8_t octet) {
  return octet == ft12::kStartFixed || octet == ft12::kStartVariable ||
         octet == ft12::kSingleCharacter;
}

}  // namespace

void ReceiveAssembler::Configure(bool gapMonitor, std::uint32_t frameLength) {
  gapMonitor_ = gapMonitor;
  gapFrameLength_ = static_cast<std::uint16_t>(
      std::clamp<std::uint32_t>(frameLength, 1, TLogEntry::kMaxByteCount));
  Clear();
}

void ReceiveAssembler::Clear() {
  state_ = State::Idle;
  count_ = 0;
  reason_ = Reason::None;
  expected_ = gapMonitor_ ? gapFrameLength_ : kOutsideFrameCount;
}

void ReceiveAssembler::Append(std::uint8_t octet) {
  // Every state ends its unit at the length it expects, which never exceeds
  // the buffer; the bound only guards a broken expectation.
  if (count_ < octets_.size()) octets_[count_++] = octet;
}

ReceiveAssembler::Result ReceiveAssembler::Complete(Result result, Reason reason) {
  state_ = State::Complete;
  reason_ = reason;
  return result;
}

ReceiveAssembler::Step ReceiveAssembler::StartFrame(std::uint8_t octet) {
  if (count_ > 0) {
    // The octets gathered outside a frame end here; the start character
    // opens the next unit.
    return {Complete(Result::InvalidRun, Reason::NoStartCharacter), false};
  }
  Append(octet);
  switch (octet) {
    case ft12::kSingleCharacter:
      return {Complete(Result::Frame, Reason::None), true};
    case ft12::kStartFixed:
      expected_ = ft12::kFixedLength;
      state_ = State::Body;
      return {};
    default:
      expected_ = kVariableHeader;
      state_ = State::Header;
      return {};
  }
}

ReceiveAssembler::Step ReceiveAssembler::Feed(std::uint8_t octet) {
  if (state_ == State::Complete) Clear();
  switch (state_) {
    case State::Idle:
    case State::Gathering:
      if (gapMonitor_) {
        state_ = State::GapFrame;
        return Feed(octet);
      }
      if (IsStartCharacter(octet)) return StartFrame(octet);
      state_ = State::Gathering;
      Append(octet);
      if (count_ >= expected_)
        return {Complete(Result::InvalidRun, Reason::NoStartCharacter), true};
      return {};
    case State::Header: {
      Append(octet);
      if (count_ < expected_) return {};
      const std::uint8_t length = octets_[ft12::at::kLength];
      if (octets_[ft12::at::kLengthRepeat] == length &&
          octets_[ft12::at::kSecondStart] == ft12::kStartVariable &&
          length >= kShortestUserLength) {
        expected_ = static_cast<std::uint16_t>(length + ft12::kVariableOverhead);
        state_ = State::Body;
        return {};
      }
      return {Complete(Result::InvalidRun, Reason::BadHeader), true};
    }
    case State::Body:
    case State::GapFrame:
      Append(octet);
      if (count_ >= expected_) return {Complete(Result::Frame, Reason::None), true};
      return {};
    case State::Complete:
      break;
  }
  return {};
}

ReceiveAssembler::Result ReceiveAssembler::Flush() {
  if (state_ == State::Complete) Clear();
  if (count_ == 0) return Result::NeedMore;
  switch (state_) {
    case State::GapFrame:
      return Complete(Result::Frame, Reason::None);
    case State::Gathering:
      return Complete(Result::InvalidRun, Reason::NoStartCharacter);
    default:
      return Complete(Result::InvalidRun, Reason::Cut);
  }
}

}  // namespace kivo
