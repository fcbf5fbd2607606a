// The filter record (240 octets), one form for the display filter and the
// log filter: in the general parameters and alone in a filter file.
#pragma once

#include <array>
#include <cstdint>

#include "util/bytes.h"

namespace kivo {

// Which value of an entry a criterion tests. Criterion i of a normalised
// filter has kind i + 4.
enum CriterionKind : std::uint32_t {
  kKindTelegramNumber = 5,  // SeqNo - FirstSeqNo + 1
  kKindByteCount = 6,
  kKindFunctionCode = 7,  // Control and 0x0F; 0 for the single character
  kKindLinkAddress = 8,
  kKindType = 9,  // entry octet 36
  kKindCause = 10,
  kKindCommonAddress = 11,
  kKindFunctionType = 12,
  kKindInformationNumber = 13,  // entry octet 41
};
inline constexpr std::uint32_t kFirstCriterionKind = kKindTelegramNumber;
inline constexpr std::uint32_t kLastCriterionKind = kKindInformationNumber;

enum CriterionMode : std::uint32_t {
  kModeOff = 0,
  kModeMustMatch = 1,
  kModeMustNotMatch = 2,
};

enum CriterionOperator : std::uint32_t {
  kOperatorEqual = 0,   // v = Value1
  kOperatorEither = 1,  // v = Value1 or v = Value2
  kOperatorRange = 2,   // Value1 .. Value2, wrapping when Value1 > Value2
};

struct TFilterCriterion {
  static constexpr std::size_t kSize = 20;
  struct Offsets {
    static constexpr std::size_t Kind = 0, Mode = 4, Value1 = 8, Operator = 12, Value2 = 16;
  };

  std::uint32_t kind = 0;
  std::uint32_t mode = kModeOff;
  std::int32_t value1 = 0;
  std::uint32_t operatorCode = kOperatorEqual;  // any value other than 0 and 1 is a range
  std::int32_t value2 = 0;

  // Whether v satisfies the operator; Mode is not looked at.
  bool Matches(std::int64_t v) const;
  // The criterion's verdict on v: the match for Mode 1, its negation for any
  // other mode (the dialog offers only 1 and 2).
  bool Accepts(std::int64_t v) const;

  void Encode(Bytes out) const;
  static TFilterCriterion Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TFilterCriterion&) const = default;
};

struct TLogFilter {
  static constexpr std::size_t kSize = 240;
  static constexpr std::size_t kCriterionCount = 9;
  static constexpr std::uint32_t kAllChannels = 15;
  struct Offsets {
    static constexpr std::size_t Restricting = 0, RecordSize = 2, LastControl = 4, Channels = 8,
                                 TimeFrom = 12, TimeTo = 20, Reserved28 = 28, CriterionCount = 32,
                                 Criteria = 36, Reserved216 = 216, Enabled = 220,
                                 TimeFromActive = 221, TimeToActive = 222, ShowValid = 223,
                                 ShowFaulty = 224, Reserved225 = 225;
  };

  // All zero, as the general parameters start; Normalise makes it usable.
  std::uint16_t restricting = 0;
  std::uint16_t recordSize = 0;  // 240 in a filter file
  std::uint32_t lastControl = 0;
  std::uint32_t channels = 0;  // bit n: channel n + 1
  double timeFrom = 0.0;
  double timeTo = 0.0;
  std::array<std::uint8_t, 4> reserved28{};
  std::int32_t criterionCount = 0;
  std::array<TFilterCriterion, kCriterionCount> criteria{};  // criteria[0] is criterion 1
  std::array<std::uint8_t, 4> reserved216{};
  std::uint8_t enabled = 0;
  std::uint8_t timeFromActive = 0;
  std::uint8_t timeToActive = 0;
  std::uint8_t showValid = 0;
  std::uint8_t showFaulty = 0;
  std::array<std::uint8_t, 15> reserved225{};

  void Encode(Bytes out) const;
  static TLogFilter Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const TLogFilter&) const = default;
};

}  // namespace kivo
