#include "asdu/text_format.h"

#include <langinfo.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "asdu/element_codings.h"

namespace kivo {

namespace {

constexpr int kMaxWidth = 64;                    // width or precision taken from a format text
constexpr int kDayNumberOfEpoch = 25569;         // 1970-01-01 as a day number
constexpr double kLargestDayNumber = 2958465.0;  // 9999-12-31

std::string FormatInteger(const std::string& directive, char conversion, long long value) {
  char buffer[160];
  const std::string full = directive + "ll" + conversion;
  if (conversion == 'u' || conversion == 'x' || conversion == 'X') {
    std::snprintf(buffer, sizeof buffer, full.c_str(), static_cast<unsigned long long>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, full.c_str(), value);
  }
  return buffer;
}

std::string FormatFloating(const std::string& directive, char conversion, double value) {
  // 2 x kMaxWidth digits around at most 310 integer digits.
  char buffer[512];
  const std::string full = directive + conversion;
  std::snprintf(buffer, sizeof buffer, full.c_str(), value);
  return buffer;
}

long long AsInteger(const FormatArg& arg) {
  if (const auto* i = std::get_if<long long>(&arg)) return *i;
  if (const auto* d = std::get_if<double>(&arg)) {
    if (!std::isfinite(*d) || std::fabs(*d) > 9e18) return 0;
    return static_cast<long long>(*d);
  }
  return 0;
}

double AsFloating(const FormatArg& arg) {
  if (const auto* d = std::get_if<double>(&arg)) return *d;
  if (const auto* i = std::get_if<long long>(&arg)) return static_cast<double>(*i);
  return 0.0;
}

std::string AsText(const FormatArg& arg) {
  if (const auto* s = std::get_if<std::string_view>(&arg)) return std::string(*s);
  if (const auto* i = std::get_if<long long>(&arg)) return std::to_string(*i);
  return FormatFloating("%", 'g', std::get<double>(arg));
}

}  // namespace

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  const FormatArg* next = args.begin();
  std::size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    std::string directive = "%";
    while (i < format.size() &&
           std::string_view("-+ #0").find(format[i]) != std::string_view::npos) {
      directive.push_back(format[i++]);
    }
    auto readNumber = [&](bool& star) {
      int n = 0;
      star = false;
      if (i < format.size() && format[i] == '*') {
        star = true;
        ++i;
        return n;
      }
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        n = std::min(kMaxWidth, n * 10 + (format[i++] - '0'));
      }
      return n;
    };
    bool star = false;
    const std::size_t widthAt = i;
    int width = readNumber(star);
    if (star) {
      width =
          next != args.end()
              ? static_cast<int>(std::clamp<long long>(AsInteger(*next++), -kMaxWidth, kMaxWidth))
              : 0;
    }
    const bool hasWidth = star || i > widthAt;
    bool hasPrecision = false;
    int precision = 0;
    if (i < format.size() && format[i] == '.') {
      ++i;
      hasPrecision = true;
      precision = readNumber(star);
      if (star) {
        precision = next != args.end()
                        ? static_cast<int>(std::clamp<long long>(AsInteger(*next++), 0, kMaxWidth))
                        : 0;
      }
    }
    if (hasWidth) directive += std::to_string(width);
    if (hasPrecision) {
      directive += '.';
      directive += std::to_string(precision);
    }
    if (i >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    const char conversion = format[i++];
    if (conversion == '%') {
      out.push_back('%');
      continue;
    }
    const std::string_view kinds = "diuxXsfeEgGn";
    if (kinds.find(conversion) == std::string_view::npos) {
      out.append(format.substr(start, i - start));
      continue;
    }
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
        out += FormatInteger(directive, conversion == 'i' ? 'd' : conversion, AsInteger(arg));
        break;
      case 's': {
        const std::string text = AsText(arg);
        std::string_view shown = text;
        if (hasPrecision) shown = shown.substr(0, static_cast<std::size_t>(precision));
        const bool left = directive.find('-') != std::string::npos;
        const std::size_t w = hasWidth ? static_cast<std::size_t>(std::abs(width)) : 0;
        out += left || width < 0 ? LeftJustify(shown, w) : RightJustify(shown, w);
        break;
      }
      case 'n':
        // A number with thousands separators: shown as a plain fixed number.
        out += FormatFloating(directive, 'f', AsFloating(arg));
        break;
      default:
        out += FormatFloating(directive, conversion, AsFloating(arg));
        break;
    }
  }
  return out;
}

LocaleFormats LocaleFormats::FromSystem() {
  LocaleFormats f;
  if (const char* t = nl_langinfo(T_FMT); t != nullptr && *t != '\0') f.timeFormat = t;
  if (const char* d = nl_langinfo(D_FMT); d != nullptr && *d != '\0') f.dateFormat = d;
  if (const lconv* lc = std::localeconv(); lc != nullptr) {
    if (lc->thousands_sep != nullptr) f.thousandsSeparator = lc->thousands_sep;
    if (lc->grouping != nullptr) f.grouping = lc->grouping;
    if (lc->decimal_point != nullptr && *lc->decimal_point != '\0')
      f.decimalPoint = lc->decimal_point;
  }
  return f;
}

namespace {

// The whole day number and the milliseconds into the day of `dayNumber`
// (rounded to the millisecond, which may give the next day); false for a day
// number beyond the calendar.
[[gnu::always_inline]] inline bool DayAndMillisecond(double dayNumber, long long& days,
                                                     long long& ms) {
  if (!std::isfinite(dayNumber) || std::fabs(dayNumber) > kLargestDayNumber) return false;
  double wholeDays = FloorOfSmall(dayNumber);
  ms = RoundOfSmall((dayNumber - wholeDays) * kMillisecondsPerDay);
  if (ms >= static_cast<long long>(kMillisecondsPerDay)) {
    ms -= static_cast<long long>(kMillisecondsPerDay);
    wholeDays += 1.0;
  }
  days = static_cast<long long>(wholeDays) - kDayNumberOfEpoch;
  return true;
}

void SetTimeOfDay(long long ms, DayTime& t) {
  t.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
}

}  // namespace

DayTime SplitDayNumber(double dayNumber) {
  DayTime t;
  long long days = 0;
  long long ms = 0;
  if (!DayAndMillisecond(dayNumber, days, ms)) return t;
  CivilFromDays(days, t.year, t.month, t.day);
  SetTimeOfDay(ms, t);
  return t;
}

const DayTime& DaySplitter::SplitAnew(double dayNumber) {
  long long days = 0;
  long long ms = 0;
  if (!DayAndMillisecond(dayNumber, days, ms)) {
    valid_ = false;
    newSecond_ = true;
    dayStart_ = 1.0;
    dayEnd_ = 0.0;
    last_ = DayTime{};
    return last_;
  }
  const long long second = ms / 1000;
  newSecond_ = !valid_ || days != days_ || second != second_;
  if (!newSecond_) {
    last_.millisecond = static_cast<int>(ms - second * 1000);
    return last_;
  }
  if (!valid_ || days != days_) CivilFromDays(days, last_.year, last_.month, last_.day);
  days_ = days;
  second_ = second;
  secondStart_ = second * 1000;
  // The day's time stamps lie from its start to below the next day's. (The
  // last day of the calendar has none beyond its start.)
  dayStart_ = static_cast<double>(days + kDayNumberOfEpoch);
  dayEnd_ = dayStart_ < kLargestDayNumber ? dayStart_ + 1.0 : dayStart_;
  valid_ = true;
  SetTimeOfDay(ms, last_);
  return last_;
}

std::string FormatDayTime(const DayTime& t, const std::string& format) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  const long long days = DaysFromCivil(t.year, t.month, t.day);
  tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  tm.tm_yday = static_cast<int>(days - DaysFromCivil(t.year, 1, 1));
  tm.tm_isdst = -1;
  char buffer[128];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
  return std::string(buffer, n);
}

const std::string& DayTimeTexts::Text(const DayTime& t, const std::string& format) {
  const bool same = valid_ && t.year == last_.year && t.month == last_.month &&
                    t.day == last_.day && t.hour == last_.hour && t.minute == last_.minute &&
                    t.second == last_.second && format == format_;
  if (!same) {
    text_ = FormatDayTime(t, format);
    last_ = t;
    format_ = format;
    valid_ = true;
  }
  return text_;
}

std::size_t FormatFixed(char* out, double value, int decimals) {
  static constexpr long long kDivisor[] = {1, 10, 100, 1000};
  const long long n = FixedUnits(value, decimals);
  if (n >= 0) {
    const char* const radix = nl_langinfo(RADIXCHAR);
    const std::size_t radixLength = std::strlen(radix);
    if (radixLength <= 16) {
      char* at = out;
      if (std::signbit(value)) *at++ = '-';
      at = std::to_chars(at, out + 24, n / kDivisor[decimals]).ptr;
      if (decimals > 0) {
        std::memcpy(at, radix, radixLength);
        at += radixLength;
        long long fractionDigits = n % kDivisor[decimals];
        for (int k = decimals; k-- > 0; fractionDigits /= 10) {
          at[k] = static_cast<char>('0' + fractionDigits % 10);
        }
        at += decimals;
      }
      return static_cast<std::size_t>(at - out);
    }
  }
  const int length = std::snprintf(out, kFixedRoom, "%.*f", decimals, value);
  return length < 0 ? 0 : std::min(static_cast<std::size_t>(length), kFixedRoom - 1);
}

void AppendFixed(std::string& out, double value, int decimals) {
  char text[kFixedRoom];
  out.append(text, FormatFixed(text, value, decimals));
}

void AppendZeroPadded(std::string& out, long long value, int width) {
  if (value >= 0 && width <= 20) {
    // Digits from the right, zeros up to the width: one append.
    char text[24];
    char* const end = text + sizeof text;
    char* at = end;
    auto left = static_cast<unsigned long long>(value);
    do {
      *--at = static_cast<char>('0' + left % 10);
      left /= 10;
    } while (left != 0);
    while (end - at < width) *--at = '0';
    out.append(at, static_cast<std::size_t>(end - at));
    return;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value);
  const auto length = static_cast<int>(end.ptr - digits);
  if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, static_cast<std::size_t>(end.ptr - digits));
}

std::size_t FormatGroupedNumber(char* out, std::size_t room, long long value,
                                const LocaleFormats& locale) {
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
  char digits[24];
  char* const end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const auto count = static_cast<std::size_t>(end - digits);
  const std::string& separator = locale.thousandsSeparator;
  const bool grouped = !separator.empty() && !locale.grouping.empty();
  if (room < 1 + count + (grouped ? count * separator.size() : 0)) return 0;
  char* at = out;
  if (value < 0) *at++ = '-';
  if (!grouped) {
    std::memcpy(at, digits, count);
    return static_cast<std::size_t>(at + count - out);
  }
  // Which digits a separator follows, found from the right as the grouping
  // says: each of its sizes once, the last one repeated, a size of 0 or
  // CHAR_MAX ending the grouping.
  bool separatorAfter[24] = {};
  std::size_t groupIndex = 0;
  int size = static_cast<unsigned char>(locale.grouping[0]);
  int inGroup = 0;
  for (std::size_t i = count; i-- > 0;) {
    if (size > 0 && size < 127 && inGroup == size) {
      separatorAfter[i] = true;
      inGroup = 0;
      if (groupIndex + 1 < locale.grouping.size()) {
        size = static_cast<unsigned char>(locale.grouping[++groupIndex]);
      }
    }
    ++inGroup;
  }
  for (std::size_t i = 0; i < count; ++i) {
    *at++ = digits[i];
    if (separatorAfter[i]) {
      std::memcpy(at, separator.data(), separator.size());
      at += separator.size();
    }
  }
  return static_cast<std::size_t>(at - out);
}

void AppendGroupedNumber(std::string& out, long long value, const LocaleFormats& locale) {
  char text[256];
  std::size_t length = FormatGroupedNumber(text, sizeof text, value, locale);
  if (length != 0) {
    out.append(text, length);
    return;
  }
  // A separator of many octets.
  std::string longer(1 + 20 * (1 + locale.thousandsSeparator.size()), '\0');
  length = FormatGroupedNumber(longer.data(), longer.size(), value, locale);
  out.append(longer, 0, length);
}

std::string GroupedNumber(long long value, const LocaleFormats& locale) {
  std::string s;
  AppendGroupedNumber(s, value, locale);
  return s;
}

std::string LeftJustify(std::string_view s, std::size_t width) {
  std::string out(s);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

std::string RightJustify(std::string_view s, std::size_t width) {
  std::string out;
  if (s.size() < width) out.append(width - s.size(), ' ');
  out.append(s);
  return out;
}

std::string Hex2(std::uint8_t octet) {
  return {kHexDigits[octet >> 4], kHexDigits[octet & 0x0F]};
}

void CutUtf8(std::string& s, std::size_t limit, std::size_t from) {
  if (s.size() - from <= limit) return;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(s[from + cut]) & 0xC0) == 0x80) --cut;
  s.resize(from + cut);
}

}  // namespace kivo
