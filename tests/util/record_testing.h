// Helpers of the golden-bytes and round-trip tests of fixed-layout records.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace kivo::testing {

// The record encoded over a buffer of 0xEE, so that octets it fails to write
// show.
template <typename Record>
std::vector<std::uint8_t> EncodeRecord(const Record& r) {
  std::vector<std::uint8_t> out(Record::kSize, 0xEE);
  r.Encode(out);
  return out;
}

inline void PutLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int width = 4) {
  for (int i = 0; i < width; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutDouble(std::vector<std::uint8_t>& b, std::size_t at, double v) {
  PutLe(b, at, std::bit_cast<std::uint64_t>(v), 8);
}

}  // namespace kivo::testing
