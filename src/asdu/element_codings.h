// How the information elements of an ASDU are coded: double points, measurands
// with their flags, the two binary time tags, floats and the TOO names. Pure
// functions over octets that the renderer, the editors and the tests share.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kivo {

class TextTable;

// Label and name texts of the elements.
namespace elementtext {
inline constexpr int kDpiNames = 270;  // + (octet AND 3)
inline constexpr int kOverflow = 274;
inline constexpr int kError = 275;
inline constexpr int kInvalid = 276;
inline constexpr int kSummerTime = 277;
inline constexpr int kReserve1 = 278;
inline constexpr int kDayOfWeek = 279;
inline constexpr int kTooFallback = 292;
}  // namespace elementtext

// DPI and DCO: the value is the low two bits.
constexpr int DoublePoint(std::uint8_t octet) {
  return octet & 0x03;
}

struct Measurand {
  int value = 0;  // signed 13 bits, -4096..4095
  bool overflow = false;
  bool error = false;
  int flags = 0;  // the three low bits as they are
};
inline constexpr std::uint16_t kMeaOverflow = 0x0001;
inline constexpr std::uint16_t kMeaError = 0x0002;
inline constexpr std::uint16_t kMeaFlags = 0x0007;
inline constexpr int kMeaValueShift = 3;
Measurand DecodeMeasurand(std::uint16_t word);
// The value as a percentage of the reference value R (the raw value of 100 %),
// held in single precision. R = 0 gives 0 rather than a division by zero.
float MeasurandPercent(int value, std::uint32_t reference);

inline constexpr std::size_t kTime4Length = 4;
inline constexpr std::size_t kTime7Length = 7;
struct Time4 {
  int milliseconds = 0;  // whole field, 0..65535
  int minutes = 0;
  int hours = 0;
  bool invalid = false;
  bool reserve1 = false;
  bool summerTime = false;
  int Seconds() const { return milliseconds / 1000; }
  int Millis() const { return milliseconds % 1000; }
};
inline constexpr std::uint8_t kMinuteMask = 0x3F;
inline constexpr std::uint8_t kReserve1Bit = 0x40;
inline constexpr std::uint8_t kInvalidBit = 0x80;
inline constexpr std::uint8_t kHourMask = 0x1F;
inline constexpr std::uint8_t kSummerTimeBit = 0x80;
inline constexpr std::uint8_t kDayMask = 0x1F;
inline constexpr int kDayOfWeekShift = 5;
inline constexpr std::uint8_t kMonthMask = 0x0F;
inline constexpr std::uint8_t kYearMask = 0x7F;
inline constexpr int kFirstYearOfLastCentury = 81;  // below: 20xx

struct Time7 {
  Time4 time;
  int day = 1;        // 1..31
  int dayOfWeek = 0;  // 1..7, 0 = not given
  int month = 1;      // 1..12
  int year = 2000;    // 1981..2080
};
// Callers pass at least kTime4Length / kTime7Length octets.
Time4 DecodeTime4(std::span<const std::uint8_t> octets);
Time7 DecodeTime7(std::span<const std::uint8_t> octets);

// IEEE 754 single precision from four little-endian octets.
float DecodeFloat(std::uint32_t bits);

// The float text: at most 9 significant characters (10 with a sign), cut
// without rounding, exponent kept apart when it is outside -3..8.
std::string FloatText(double value, std::string_view decimalPoint = ".");

// Position (from 1) of a TOO code in the code list, 0 when absent.
int TooPosition(std::string_view tooCodes, std::uint8_t too);

// Days since 1970-01-01 of a civil date (proleptic Gregorian) and back.
long long DaysFromCivil(int year, int month, int day);
void CivilFromDays(long long days, int& year, int& month, int& day);

}  // namespace kivo
