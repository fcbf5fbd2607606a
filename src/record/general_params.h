// The general parameters record (580 octets). It travels in the header of the
// send-telegram file and of every log file; the two filters live inside it.
#pragma once

#include <array>
#include <cstdint>

#include "record/filter_record.h"
#include "util/bytes.h"

namespace kivo {

struct GeneralParams {
  static constexpr std::size_t kSize = 580;
  static constexpr std::size_t kFilterSize = TLogFilter::kSize;
  struct Offsets {
    static constexpr std::size_t Size = 0, FocusIndex = 4, SeparateCommonAddress = 8, Other12 = 12,
                                 DisturbanceTimeout = 76, AutoOrderDisturbance = 80, Other84 = 84,
                                 LogSize = 88, Measurand100 = 92, DisplayFilter = 96,
                                 LogFilter = 336, SummerTime = 576, Other577 = 577;
  };
  static constexpr std::uint32_t kMaxLogSize = 2000;

  std::uint32_t size = kSize;
  std::uint32_t focusIndex = 0;
  std::uint32_t separateCommonAddress = 0;
  std::array<std::uint8_t, 64> other12{};  // octets 12..75, kept as they are
  std::uint32_t disturbanceTimeout = 8;
  std::uint32_t autoOrderDisturbance = 0;
  std::array<std::uint8_t, 4> other84{};
  std::uint32_t logSize = 10;  // units of 1,024,000 octets
  std::uint32_t measurand100 = 3413;
  TLogFilter displayFilter;  // zeroed until normalised
  TLogFilter logFilter;
  std::uint8_t summerTime = 0;
  std::array<std::uint8_t, 3> other577{};

  void Encode(Bytes out) const;
  static GeneralParams Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const GeneralParams&) const = default;
};

}  // namespace kivo
