// The element codings at their edges: measurand flags and sign, the year,
// month and day rules of the seven-octet time, the cut of the float text, and
// the formatter that takes its format from the language file.
#include "asdu/element_codings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "asdu/text_format.h"

namespace kivo {
namespace {

TEST(ElementCodings, MeasurandsKeepSignAndFlags) {
  const struct {
    std::uint16_t word;
    int value;
    bool overflow, error;
    int flags;
  } cases[] = {
      {0xFFF9, -1, true, false, 1},
      {0x7FFB, 4095, true, true, 3},
      {0x8000, -4096, false, false, 0},
      {0x0004, 0, false, false, 4}  // the reserved bit is kept, not a value
  };
  for (const auto& c : cases) {
    const Measurand m = DecodeMeasurand(c.word);
    EXPECT_EQ(std::tie(m.value, m.overflow, m.error, m.flags),
              std::tie(c.value, c.overflow, c.error, c.flags))
        << c.word;
  }
  EXPECT_FLOAT_EQ(MeasurandPercent(3413, 3413), 100.0f);
  EXPECT_FLOAT_EQ(MeasurandPercent(-4096, 3413), static_cast<float>(-4096 * 100.0 / 3413));
  EXPECT_EQ(MeasurandPercent(100, 0), 0.0f);
}

TEST(ElementCodings, SevenOctetTimeFallsBackWhereTheOctetsSayNothing) {
  const struct {
    std::uint8_t dayOctet, monthOctet, yearOctet;
    int day, dayOfWeek, month, year;
  } cases[] = {{1, 1, 80, 1, 0, 1, 2080},      {1, 1, 81, 1, 0, 1, 1981},
               {1, 1, 0, 1, 0, 1, 2000},       {1, 1, 0x80 | 26, 1, 0, 1, 2026},  // bit 7 ignored
               {5, 0, 26, 5, 0, 1, 2026},      {5, 13, 26, 5, 0, 1, 2026},
               {5, 0x1C, 26, 5, 0, 12, 2026},  // high nibble ignored
               {0, 6, 26, 1, 0, 6, 2026},      {0xE0, 6, 26, 1, 7, 6, 2026},
               {0x3F, 12, 26, 31, 1, 12, 2026}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> octets = {0x10,       0x27,         0x45,       0x97,
                                              c.dayOctet, c.monthOctet, c.yearOctet};
    const Time7 t = DecodeTime7(octets);
    EXPECT_EQ(std::tie(t.day, t.dayOfWeek, t.month, t.year),
              std::tie(c.day, c.dayOfWeek, c.month, c.year))
        << int(c.dayOctet) << " " << int(c.monthOctet) << " " << int(c.yearOctet);
    EXPECT_EQ(std::tuple(t.time.milliseconds, t.time.Seconds(), t.time.minutes, t.time.reserve1,
                         t.time.invalid, t.time.hours, t.time.summerTime),
              std::tuple(10000, 10, 5, true, false, 23, true));
  }
}

TEST(ElementCodings, FloatTextIsCutNotRoundedWithTheExponentApart) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{100.0f, "100"},
               {0.1f, "0.1"},
               {-1234.5678f, "-1234.5677"},
               {123456789.0, "123456789"},
               {0.001, "0.001"},
               {0.0, "0"},
               {1.5e9, "1.5E9"},  // outside -3..8
               {1e-10f, "1E-10"},
               {0.0001, "1E-4"},
               {12345678901.0, "1.234567E10"},
               {-3.25e-20, "-3.25E-20"},
               {std::numeric_limits<double>::quiet_NaN(), "NAN"},
               {-std::numeric_limits<double>::infinity(), "-INF"}};
  for (const auto& c : cases) EXPECT_EQ(FloatText(c.value), c.text);
  EXPECT_EQ(FloatText(2.5, ","), "2,5");
  const std::string codes = {1, 2, 3, 8};
  EXPECT_EQ(TooPosition(codes, 1), 1);
  EXPECT_EQ(TooPosition(codes, 8), 4);
  EXPECT_EQ(TooPosition(codes, 9), 0);
}

TEST(FormatText, PrintfDirectivesAndFaultyFormatTextsThatNeverMisbehave) {
  EXPECT_EQ(FormatText("Port %d opened  %s  %s", {3LL, "Primary", "9600 baud"}),
            "Port 3 opened  Primary  9600 baud");
  EXPECT_EQ(FormatText("  %s: %.0f tel.", {"Rx", 12.0}), "  Rx: 12 tel.");
  EXPECT_EQ(FormatText("%5s|%-4d|%%", {"ab", 7LL}), "   ab|7   |%");
  EXPECT_EQ(FormatText("%d %s %f", {}), "  ");
  EXPECT_EQ(FormatText("%s", {42LL}), "42");
  EXPECT_EQ(FormatText("%d", {"text"}), "0");
  EXPECT_EQ(FormatText("%q%", {1LL}), "%q%");
  EXPECT_EQ(FormatText("%999999999d", {1LL}).size(), 64u);
  EXPECT_EQ(FormatText("%*d", {-9999LL, 5LL}), "5" + std::string(63, ' '));
  EXPECT_FALSE(FormatText("%.99f", {1e308}).empty());
}

TEST(FormatText, ThousandsByGroupingAndDayNumbersToTheMillisecond) {
  LocaleFormats locale;
  locale.thousandsSeparator = ",";
  locale.grouping = "\3";
  EXPECT_EQ(GroupedNumber(1234567, locale), "1,234,567");
  EXPECT_EQ(GroupedNumber(-1234, locale), "-1,234");
  EXPECT_EQ(GroupedNumber(999, locale), "999");
  locale.grouping = "\3\2";
  EXPECT_EQ(GroupedNumber(12345678, locale), "1,23,45,678");
  locale.thousandsSeparator.clear();
  EXPECT_EQ(GroupedNumber(1234567, locale), "1234567");

  const DayTime t = SplitDayNumber(46362.0 + (23 * 3600 + 59 * 60 + 59.9996) / 86400.0);
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.millisecond), std::tuple(2026, 12, 7, 0, 0))
      << "rounded over midnight";
  EXPECT_EQ(FormatDayTime(SplitDayNumber(46362.25), "%Y-%m-%d %H:%M:%S %a"),
            "2026-12-06 06:00:00 Sun");
  EXPECT_EQ(SplitDayNumber(std::nan("")).year, 1899) << "no date gives day number 0";
  EXPECT_EQ(SplitDayNumber(1e300).day, 30);
}

}  // namespace
}  // namespace kivo
