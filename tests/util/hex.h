// Frames written as hex in the tests, and a helper that gives a frame the
// right checksum so that it carries exactly the one defect a test is about.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace kivo::testing {

using Octets = std::vector<std::uint8_t>;

inline Octets Hex(const std::string& text) {
  Octets octets;
  std::istringstream in(text);
  std::string word;
  while (in >> word) octets.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return octets;
}

inline std::string ToHex(std::span<const std::uint8_t> octets) {
  std::string text;
  char buffer[4];
  for (std::uint8_t octet : octets) {
    std::snprintf(buffer, sizeof buffer, "%02X ", octet);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

inline std::string RepairChecksum(const std::string& text) {
  Octets frame = Hex(text);
  const std::size_t first = frame[0] == 0x10 ? 1 : 4;
  unsigned sum = 0;
  for (std::size_t i = first; i + 2 < frame.size(); ++i) sum += frame[i];
  frame[frame.size() - 2] = static_cast<std::uint8_t>(sum);
  return ToHex(frame);
}

}  // namespace kivo::testing
