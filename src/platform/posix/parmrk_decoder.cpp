#include "platform/posix/parmrk_decoder.h"

#include <algorithm>

namespace kivo {

namespace {
constexpr std::uint8_t kMarkOctet = 0xFF;
}

void ParmrkDecoder::Emit(std::uint8_t octet, std::uint8_t mark, std::vector<std::uint8_t>& data,
                         std::vector<std::uint8_t>& marks) {
  if (breakPending_) {
    mark |= kBreakBefore;
    breakPending_ = false;
  }
  data.push_back(octet);
  marks.push_back(mark);
}

bool ParmrkDecoder::TakePendingBreak() {
  const bool pending = breakPending_;
  breakPending_ = false;
  return pending;
}

void ParmrkDecoder::Decode(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& data,
                           std::vector<std::uint8_t>& marks) {
  for (std::uint8_t octet : raw) {
    switch (state_) {
      case State::Plain:
        if (octet == kMarkOctet) {
          state_ = State::Escape;
        } else {
          Emit(octet, 0, data, marks);
        }
        break;
      case State::Escape:
        if (octet == kMarkOctet) {
          Emit(kMarkOctet, 0, data, marks);
          state_ = State::Plain;
        } else if (octet == 0) {
          state_ = State::EscapeZero;
        } else {
          // The driver never sends a lone 0xFF while marking; should one turn
          // up anyway, pass both octets on rather than lose data.
          Emit(kMarkOctet, 0, data, marks);
          Emit(octet, 0, data, marks);
          state_ = State::Plain;
        }
        break;
      case State::EscapeZero:
        if (octet == 0) {
          breakPending_ = true;
        } else {
          Emit(octet, kBadOctet, data, marks);
        }
        state_ = State::Plain;
        break;
    }
  }
}

void MarkedStream::Feed(std::span<const std::uint8_t> raw) {
  // Drop what has been read, so that a reader that never quite catches up
  // does not let the buffer grow.
  data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(taken_));
  marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(taken_));
  taken_ = 0;
  decoder_.Decode(raw, data_, marks_);
}

MarkedStream::Batch MarkedStream::Take(std::span<std::uint8_t> out) {
  Batch batch;
  batch.count = std::min(out.size(), Pending());
  for (std::size_t i = 0; i < batch.count; ++i) {
    out[i] = data_[taken_ + i];
    const std::uint8_t mark = marks_[taken_ + i];
    if (mark & ParmrkDecoder::kBadOctet) batch.badOctet = true;
    if (mark & ParmrkDecoder::kBreakBefore) batch.brk = true;
  }
  taken_ += batch.count;
  if (taken_ == data_.size()) {
    data_.clear();
    marks_.clear();
    taken_ = 0;
    if (decoder_.TakePendingBreak()) batch.brk = true;
  }
  return batch;
}

void MarkedStream::Clear() {
  decoder_.Reset();
  data_.clear();
  marks_.clear();
  taken_ = 0;
}

}  // namespace kivo
