#include "record/ft12.h"

#include <cstring>

namespace kivo::ft12 {

std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame) {
  const std::size_t first =
      !frame.empty() && frame[0] == kStartFixed ? at::kFixedControl : at::kVariableControl;
  if (frame.size() < first + kTrailer) return 0;
  const std::size_t end = frame.size() - kTrailer;
  std::uint32_t sum = 0;
  for (std::size_t i = first; i < end; ++i) sum += frame[i];
  return static_cast<std::uint8_t>(sum);
}

std::size_t BuildFixedFrame(std::uint8_t control, std::uint8_t address,
                            std::span<std::uint8_t> out) {
  if (out.size() < kFixedLength) return 0;
  out[0] = kStartFixed;
  out[at::kFixedControl] = control;
  out[at::kFixedAddress] = address;
  out[at::kFixedEnd] = kEndCharacter;
  out[at::kFixedChecksum] = FrameChecksum(out.first(kFixedLength));
  return kFixedLength;
}

std::size_t BuildVariableFrame(std::uint8_t control, std::uint8_t address,
                               std::span<const std::uint8_t> asdu, std::span<std::uint8_t> out) {
  const std::size_t length = asdu.size() + at::kTyp + kTrailer;
  if (asdu.size() > kMaxAsdu || out.size() < length) return 0;
  const auto userOctets = static_cast<std::uint8_t>(asdu.size() + 2);
  out[0] = kStartVariable;
  out[at::kLength] = userOctets;
  out[at::kLengthRepeat] = userOctets;
  out[at::kSecondStart] = kStartVariable;
  out[at::kVariableControl] = control;
  out[at::kVariableAddress] = address;
  // The ASDU may already stand in `out` (a caller that built it in place).
  if (!asdu.empty()) std::memmove(out.data() + at::kTyp, asdu.data(), asdu.size());
  out[length - 1] = kEndCharacter;
  out[length - 2] = FrameChecksum(out.first(length));
  return length;
}

}  // namespace kivo::ft12
