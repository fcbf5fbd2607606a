// The rules the validator checks a frame against besides the port.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "record/type_catalogue.h"

namespace kivo {

struct TValueColours;

// What the validator checks a frame against besides the port, as the
// language file states it: the admissibility digit of each function code of
// primary and secondary frames (0 not admissible, odd admissible with FCV 1,
// even with FCV 0), the causes each type permits and the causes common to
// all types; and the per-cause colour words (a coloured cause outside the
// common set gets a status of its own).
struct FrameRules {
  std::array<std::uint8_t, 16> primaryFunctions{};
  std::array<std::uint8_t, 16> secondaryFunctions{};
  std::array<std::bitset<256>, kCatalogueSize> typeCauses{};
  std::bitset<256> commonCauses;
  const TValueColours* causeColours = nullptr;
};

}  // namespace kivo
