// The FT 1.2 frame checksum: the arithmetic sum of the octets, modulo 256.
#pragma once

#include <cstdint>
#include <numeric>
#include <span>

namespace kivo {

inline std::uint8_t Checksum(std::span<const std::uint8_t> octets) {
  return static_cast<std::uint8_t>(
      std::accumulate(octets.begin(), octets.end(), 0u,
                      [](unsigned sum, std::uint8_t octet) { return (sum + octet) & 0xFF; }));
}

}  // namespace kivo
