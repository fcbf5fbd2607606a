#include "asdu/element_codings.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivo {

Measurand DecodeMeasurand(std::uint16_t word) {
  Measurand m;
  m.value = static_cast<std::int16_t>(word) >> kMeaValueShift;
  m.overflow = (word & kMeaOverflow) != 0;
  m.error = (word & kMeaError) != 0;
  m.flags = word & kMeaFlags;
  return m;
}

float MeasurandPercent(int value, std::uint32_t reference) {
  if (reference == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(value) * 100.0 / static_cast<double>(reference));
}

Time4 DecodeTime4(std::span<const std::uint8_t> octets) {
  Time4 t;
  t.milliseconds = octets[0] | (octets[1] << 8);
  t.minutes = octets[2] & kMinuteMask;
  t.reserve1 = (octets[2] & kReserve1Bit) != 0;
  t.invalid = (octets[2] & kInvalidBit) != 0;
  t.hours = octets[3] & kHourMask;
  t.summerTime = (octets[3] & kSummerTimeBit) != 0;
  return t;
}

Time7 DecodeTime7(std::span<const std::uint8_t> octets) {
  Time7 t;
  t.time = DecodeTime4(octets);
  t.day = octets[4] & kDayMask;
  if (t.day == 0) t.day = 1;
  t.dayOfWeek = octets[4] >> kDayOfWeekShift;
  t.month = octets[5] & kMonthMask;
  if (t.month == 0 || t.month > 12) t.month = 1;
  const int year = octets[6] & kYearMask;
  t.year = year < kFirstYearOfLastCentury ? 2000 + year : 1900 + year;
  return t;
}

float DecodeFloat(std::uint32_t bits) {
  return std::bit_cast<float>(bits);
}

std::string FloatText(double value, std::string_view decimalPoint) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // Twelve significant digits, one before the point; the C library may write
  // the locale's decimal point, so only the digits and the exponent are taken.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.11E", std::fabs(value));
  std::string digits;
  int exponent = 0;
  for (const char* p = buffer; *p != '\0'; ++p) {
    if (*p >= '0' && *p <= '9') {
      digits.push_back(*p);
    } else if (*p == 'E') {
      exponent = std::atoi(p + 1);
      break;
    }
  }
  const bool negative = std::signbit(value) && value != 0.0;
  std::string mantissa;
  std::string exponentPart;
  const std::string point(decimalPoint);
  if (exponent >= -3 && exponent <= 8) {
    if (exponent < 0) {
      mantissa = "0" + point + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
      const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
      mantissa = digits.substr(0, integerDigits) + point + digits.substr(integerDigits);
    }
  } else {
    mantissa = digits.substr(0, 1) + point + digits.substr(1);
    exponentPart = 'E' + std::to_string(exponent);
  }
  // Nine characters with the point; the exponent takes what it needs beyond two.
  std::size_t keep = 9 - (exponentPart.empty() ? 0 : exponentPart.size() - 2);
  if (negative) {
    mantissa.insert(mantissa.begin(), '-');
    ++keep;
  }
  mantissa = mantissa.substr(0, keep);
  const std::size_t pointAt = mantissa.find(point);
  if (pointAt != std::string::npos) {
    while (mantissa.size() > pointAt + point.size() && mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.size() == pointAt + point.size()) mantissa.resize(pointAt);
  }
  return mantissa + exponentPart;
}

int TooPosition(std::string_view tooCodes, std::uint8_t too) {
  for (std::size_t q = 0; q < tooCodes.size(); ++q) {
    if (static_cast<std::uint8_t>(tooCodes[q]) == too) return static_cast<int>(q) + 1;
  }
  return 0;
}

// H. Hinnant's algorithms for the proleptic Gregorian calendar.
long long DaysFromCivil(int year, int month, int day) {
  const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long mp = (month + 9) % 12;
  const long long doy = (153 * mp + 2) / 5 + day - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace kivo
