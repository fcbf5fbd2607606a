// Text building blocks of the telegram lines: a printf-like formatter that is
// safe with operator-edited format texts, the user's locale formats for times,
// dates and numbers, and the column helpers.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace kivo {

// One argument of FormatText: an integer, a floating value or a text.
using FormatArg = std::variant<long long, double, std::string_view>;

// Formats `format` like printf with the directives d, i, u, x, X, s, f, e, E,
// g, G, n and %% (flags, width and precision allowed). An argument of the
// wrong kind is converted, a missing one writes nothing, an unknown directive
// is copied as it stands: a language file can never make this misbehave.
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args);

// The parts of the user's locale the telegram lines use (LC_TIME, LC_NUMERIC).
struct LocaleFormats {
  std::string timeFormat = "%H:%M:%S";  // strftime form of the long time
  std::string dateFormat = "%m/%d/%y";  // strftime form of the short date
  std::string thousandsSeparator;
  std::string grouping;  // as localeconv gives it
  std::string decimalPoint = ".";

  // Reads the formats of the locale in force (setlocale) now.
  static LocaleFormats FromSystem();
};

// A local date and time of day from a day number (days since 1899-12-30, the
// time of day as fraction), rounded to the millisecond. Values that are no
// date at all (NaN, far outside the calendar) give day 0.
struct DayTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
DayTime SplitDayNumber(double dayNumber);

// SplitDayNumber for many time stamps in a row: the calendar date of the last
// day is kept.
class DaySplitter {
 public:
  // The date and time of `dayNumber`, valid until the next Split.
  const DayTime& Split(double dayNumber);
  // Whether the last Split gave another second (or its first) than the one
  // before it: only then do the date and time texts change.
  bool NewSecond() const { return newSecond_; }

 private:
  const DayTime& SplitAnew(double dayNumber);
  long long days_ = 0;
  long long second_ = 0;  // of the day
  // The day number of the last day's start, and the one after it (none
  // while there is no day: the first above the second); the millisecond
  // of the day the last second starts at.
  double dayStart_ = 1.0;
  double dayEnd_ = 0.0;
  long long secondStart_ = 0;
  DayTime last_{};
  bool valid_ = false;
  bool newSecond_ = true;
};

// strftime of a date and time with one of the locale's formats.
std::string FormatDayTime(const DayTime& t, const std::string& format);

// FormatDayTime for one format, remembering the text of the last second
// asked for: telegrams come many to the second, and strftime with its
// locale look-ups is slow beside the rest of a line.
class DayTimeTexts {
 public:
  const std::string& Text(const DayTime& t, const std::string& format);

 private:
  DayTime last_{};
  std::string format_;
  std::string text_;
  bool valid_ = false;
};

// printf("%.*f", decimals, value) for decimals 0..3: what printf would write,
// without its cost where the digits follow from an integer exactly.
void AppendFixed(std::string& out, double value, int decimals);
// AppendFixed into `out`, which has room for kFixedRoom octets; returns the
// length.
inline constexpr std::size_t kFixedRoom = 400;
std::size_t FormatFixed(char* out, double value, int decimals);
// std::floor of a value below 2^52 in magnitude (a day number), without a
// call into the maths library.
inline double FloorOfSmall(double x) {
  const double whole = static_cast<double>(static_cast<long long>(x));
  return whole > x ? whole - 1.0 : whole;
}
// std::llround of a value from 0 to below 2^52, without the call: the part
// after the point of such a double is exact, so a half rounds up as there.
inline long long RoundOfSmall(double x) {
  const auto whole = static_cast<long long>(x);
  return x - static_cast<double>(whole) >= 0.5 ? whole + 1 : whole;
}

inline constexpr double kMillisecondsPerDay = 86400000.0;

// (Inline: the export splits the time stamp of every entry.)
inline const DayTime& DaySplitter::Split(double dayNumber) {
  // Within the day of the last split its start is known, and within its
  // second only the milliseconds change: they are worked out from the day's
  // start just as the whole split works them out.
  if (dayNumber >= dayStart_ && dayNumber < dayEnd_) {
    const long long into =
        RoundOfSmall((dayNumber - dayStart_) * kMillisecondsPerDay) - secondStart_;
    if (into >= 0 && into < 1000) {
      newSecond_ = false;
      last_.millisecond = static_cast<int>(into);
      return last_;
    }
  }
  return SplitAnew(dayNumber);
}

// The magnitude of `value` in units of its last place of `decimals` (0..3),
// rounded as FormatFixed rounds it; -1 where printf has to decide (near a
// tie, or too large). FormatFixed's text depends on nothing else than this,
// the sign and the radix character.
// (Inline: the export asks it for the delta of every entry.)
inline long long FixedUnits(double value, int decimals) {
  static constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0};
  // Below this the product is an exact integer plus a fraction, and its
  // error is far below what could move it across a rounding tie.
  constexpr double kLargest = 1e12;
  if (decimals < 0 || decimals > 3) return -1;
  const double magnitude = std::fabs(value * kScale[decimals]);
  if (!(magnitude < kLargest)) return -1;
  const double whole = FloorOfSmall(magnitude);
  const double fraction = magnitude - whole;
  // The product is off the exact value by at most 2^-52 of itself: a
  // fraction that far from one half rounds as the exact value does.
  // Nearer to the tie printf decides on the exact binary value.
  if (std::fabs(fraction - 0.5) <= magnitude * 0x1p-50 + 0x1p-60) return -1;
  return static_cast<long long>(whole) + (fraction > 0.5 ? 1 : 0);
}

// `value` in at least `width` digits, zeros in front; value >= 0.
void AppendZeroPadded(std::string& out, long long value, int width);

// An integer with the locale's thousands separator.
std::string GroupedNumber(long long value, const LocaleFormats& locale);
void AppendGroupedNumber(std::string& out, long long value, const LocaleFormats& locale);
// GroupedNumber into `out`, which has room for `room` octets; returns the
// length, or 0 when it does not fit.
std::size_t FormatGroupedNumber(char* out, std::size_t room, long long value,
                                const LocaleFormats& locale);

std::string LeftJustify(std::string_view s, std::size_t width);
std::string RightJustify(std::string_view s, std::size_t width);
// Two upper-case hexadecimal digits.
std::string Hex2(std::uint8_t octet);
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
// Cuts a text, or its end from `from` on, to at most `limit` octets without
// splitting a UTF-8 character.
void CutUtf8(std::string& s, std::size_t limit, std::size_t from = 0);

}  // namespace kivo
