#include "platform/posix/parmrk_decoder.h"

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

}  // namespace kivo
