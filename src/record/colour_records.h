// The telegram font block and the value colour tables, kept in the settings
// record and in the send-telegram file.
#pragma once

#include <array>
#include <cstdint>

#include "util/bytes.h"

namespace kivo {

// A colour pair: low octet text colour index, high octet background index.
constexpr std::uint16_t ColourPair(std::uint8_t text, std::uint8_t background) {
  return static_cast<std::uint16_t>(text | (background << 8));
}

struct TTelFont {
  static constexpr std::size_t kSize = 36;
  struct Offsets {
    static constexpr std::size_t FontSize = 0, Valid = 4, LastControl = 8, Spacing = 12, Pairs = 16,
                                 Reserved = 28;
  };

  std::int32_t fontSize = 9;
  std::uint32_t valid = 1;
  std::uint32_t lastControl = 0;
  std::int32_t spacing = 50;
  // Received port 1, sent port 1, received port 2, sent port 2, heading, faulty.
  std::array<std::uint16_t, 6> pairs{ColourPair(2, 15), ColourPair(1, 15),  ColourPair(4, 15),
                                     ColourPair(7, 15), ColourPair(16, 15), ColourPair(3, 15)};
  std::array<std::uint8_t, 8> reserved{};

  void Encode(Bytes out) const;
  static TTelFont Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TTelFont&) const = default;
};

struct TValueColours {
  static constexpr std::size_t kSize = 536;
  static constexpr std::uint32_t kBlockSize = 536;
  struct Offsets {
    static constexpr std::size_t LastControl = 0, SelectedValue = 4, Pairs = 8, BlockSize = 520,
                                 Reserved = 524;
  };

  std::uint32_t lastControl = 0;
  std::uint32_t selectedValue = 0;
  std::array<std::uint16_t, 256> pairs{};
  std::uint32_t blockSize = kBlockSize;
  std::array<std::uint8_t, 12> reserved{};

  void Encode(Bytes out) const;
  static TValueColours Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TValueColours&) const = default;
};

}  // namespace kivo
