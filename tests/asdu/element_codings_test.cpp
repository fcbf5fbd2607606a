// The element codings at their edges: measurand flags and sign, the year,
// month and day rules of the seven-octet time, the cut of the float text, and
// the formatter that takes its format from the language file.
#include "asdu/element_codings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "asdu/text_format.h"

namespace kivo {
namespace {

TEST(Measurand, NegativeValueKeepsOverflowFlag) {
  const Measurand m = DecodeMeasurand(0xFFF9);
  EXPECT_EQ(m.value, -1);
  EXPECT_TRUE(m.overflow);
  EXPECT_FALSE(m.error);
  EXPECT_EQ(m.flags, 1);
}

TEST(Measurand, LargestValueWithErrorAndOverflow) {
  const Measurand m = DecodeMeasurand(0x7FFB);
  EXPECT_EQ(m.value, 4095);
  EXPECT_TRUE(m.overflow);
  EXPECT_TRUE(m.error);
  EXPECT_EQ(DecodeMeasurand(0x8000).value, -4096);
  EXPECT_EQ(DecodeMeasurand(0x0004).flags, 4);  // the reserved bit is kept, not a value
  EXPECT_EQ(DecodeMeasurand(0x0004).value, 0);
}

TEST(Measurand, PercentOfReferenceInSinglePrecision) {
  EXPECT_FLOAT_EQ(MeasurandPercent(3413, 3413), 100.0f);
  EXPECT_FLOAT_EQ(MeasurandPercent(-4096, 3413), static_cast<float>(-4096 * 100.0 / 3413));
  EXPECT_EQ(MeasurandPercent(100, 0), 0.0f);
}

std::vector<std::uint8_t> Time7Octets(std::uint8_t dayOctet, std::uint8_t month,
                                      std::uint8_t year) {
  return {0x10, 0x27, 0x45, 0x97, dayOctet, month, year};
}

TEST(Time7, YearBelow81IsThisCentury) {
  EXPECT_EQ(DecodeTime7(Time7Octets(1, 1, 80)).year, 2080);
  EXPECT_EQ(DecodeTime7(Time7Octets(1, 1, 81)).year, 1981);
  EXPECT_EQ(DecodeTime7(Time7Octets(1, 1, 0)).year, 2000);
  EXPECT_EQ(DecodeTime7(Time7Octets(1, 1, 0x80 | 26)).year, 2026);  // bit 7 ignored
}

TEST(Time7, MonthOutsideTheYearAndDayZeroFallBackToOne) {
  EXPECT_EQ(DecodeTime7(Time7Octets(5, 0, 26)).month, 1);
  EXPECT_EQ(DecodeTime7(Time7Octets(5, 13, 26)).month, 1);
  EXPECT_EQ(DecodeTime7(Time7Octets(5, 0x1C, 26)).month, 12);  // high nibble ignored
  EXPECT_EQ(DecodeTime7(Time7Octets(0, 6, 26)).day, 1);
  EXPECT_EQ(DecodeTime7(Time7Octets(0xE0, 6, 26)).day, 1);
  EXPECT_EQ(DecodeTime7(Time7Octets(0xE0, 6, 26)).dayOfWeek, 7);
}

TEST(Time4, FieldsAndFlags) {
  const Time7 t = DecodeTime7(Time7Octets(0x3F, 12, 26));
  EXPECT_EQ(t.time.milliseconds, 10000);
  EXPECT_EQ(t.time.Seconds(), 10);
  EXPECT_EQ(t.time.minutes, 5);
  EXPECT_TRUE(t.time.reserve1);
  EXPECT_FALSE(t.time.invalid);
  EXPECT_EQ(t.time.hours, 23);
  EXPECT_TRUE(t.time.summerTime);
  EXPECT_EQ(t.day, 31);
  EXPECT_EQ(t.dayOfWeek, 1);
}

TEST(FloatText, PlainNotationCutNotRounded) {
  EXPECT_EQ(FloatText(100.0f), "100");
  EXPECT_EQ(FloatText(0.1f), "0.1");
  EXPECT_EQ(FloatText(-1234.5678f), "-1234.5677");
  EXPECT_EQ(FloatText(123456789.0), "123456789");
  EXPECT_EQ(FloatText(0.001), "0.001");
  EXPECT_EQ(FloatText(0.0), "0");
  EXPECT_EQ(FloatText(2.5, ","), "2,5");
}

TEST(FloatText, ExponentKeptApartOutsideMinus3To8) {
  EXPECT_EQ(FloatText(1.5e9), "1.5E9");
  EXPECT_EQ(FloatText(1e-10f), "1E-10");
  EXPECT_EQ(FloatText(0.0001), "1E-4");
  EXPECT_EQ(FloatText(12345678901.0), "1.234567E10");
  EXPECT_EQ(FloatText(-3.25e-20), "-3.25E-20");
}

TEST(FloatText, NoNumberAtAll) {
  EXPECT_EQ(FloatText(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(TooCodes, PositionCountsFromOne) {
  const std::string codes = {1, 2, 3, 8};
  EXPECT_EQ(TooPosition(codes, 1), 1);
  EXPECT_EQ(TooPosition(codes, 8), 4);
  EXPECT_EQ(TooPosition(codes, 9), 0);
}

TEST(FormatText, PrintfDirectivesWithTypedArguments) {
  EXPECT_EQ(FormatText("Port %d opened  %s  %s", {3LL, "Primary", "9600 baud"}),
            "Port 3 opened  Primary  9600 baud");
  EXPECT_EQ(FormatText("  %s: %.0f tel.", {"Rx", 12.0}), "  Rx: 12 tel.");
  EXPECT_EQ(FormatText("%5s|%-4d|%%", {"ab", 7LL}), "   ab|7   |%");
}

TEST(FormatText, FaultyFormatTextsNeverMisbehave) {
  EXPECT_EQ(FormatText("%d %s %f", {}), "  ");
  EXPECT_EQ(FormatText("%s", {42LL}), "42");
  EXPECT_EQ(FormatText("%d", {"text"}), "0");
  EXPECT_EQ(FormatText("%q%", {1LL}), "%q%");
  EXPECT_EQ(FormatText("%999999999d", {1LL}).size(), 64u);
  EXPECT_EQ(FormatText("%*d", {-9999LL, 5LL}), "5" + std::string(63, ' '));
  EXPECT_FALSE(FormatText("%.99f", {1e308}).empty());
}

TEST(LocaleNumbers, ThousandsSeparatorByGrouping) {
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
}

TEST(DayNumbers, SplitToTheMillisecond) {
  const DayTime t = SplitDayNumber(46362.0 + (23 * 3600 + 59 * 60 + 59.9996) / 86400.0);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 7);  // rounded over midnight
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.millisecond, 0);
  const DayTime u = SplitDayNumber(46362.25);
  EXPECT_EQ(u.day, 6);
  EXPECT_EQ(u.hour, 6);
  EXPECT_EQ(FormatDayTime(u, "%Y-%m-%d %H:%M:%S %a"), "2026-12-06 06:00:00 Sun");
}

TEST(DayNumbers, NoDateGivesTheDayNumberZero) {
  const DayTime t = SplitDayNumber(std::nan(""));
  EXPECT_EQ(t.year, 1899);
  EXPECT_EQ(SplitDayNumber(1e300).day, 30);
}

}  // namespace
}  // namespace kivo
