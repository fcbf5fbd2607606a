// The element codings at their edges: measurand flags and sign, the year,
// month and day rules of the seven-octet time, the cut of the float text, and
// the formatter that takes its format from the language file.
#include "asdu/element_codings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>
#include <vector>

#include "asdu/text_format.h"

namespace kivo {
namespace {

TEST(ElementCodings, MeasurandsKeepSignAndFlagsTheReservedBitIsNoValue) {
  // word, value, overflow, error, flags
  const std::tuple<std::uint16_t, int, bool, bool, int> cases[] = {{0xFFF9, -1, true, false, 1},
                                                                   {0x7FFB, 4095, true, true, 3},
                                                                   {0x8000, -4096, false, false, 0},
                                                                   {0x0004, 0, false, false, 4}};
  for (const auto& c : cases) {
    const Measurand m = DecodeMeasurand(std::get<0>(c));
    EXPECT_EQ(std::tuple(std::get<0>(c), m.value, m.overflow, m.error, m.flags), c);
  }
  EXPECT_FLOAT_EQ(MeasurandPercent(3413, 3413), 100.0f);
  EXPECT_FLOAT_EQ(MeasurandPercent(-4096, 3413), static_cast<float>(-4096 * 100.0 / 3413));
  EXPECT_EQ(MeasurandPercent(100, 0), 0.0f);
}

// Years below 81 are this century, bit 7 of the year and the high nibble of
// the month do not count, a month outside the year and day 0 become 1.
TEST(ElementCodings, SevenOctetTimeFallsBackWhereTheOctetsSayNothing) {
  // day octet, month octet, year octet -> day, day of week, month, year
  const std::tuple<int, int, int, int, int, int, int> cases[] = {
      {1, 1, 80, 1, 0, 1, 2080},      {1, 1, 81, 1, 0, 1, 1981}, {1, 1, 0, 1, 0, 1, 2000},
      {1, 1, 154, 1, 0, 1, 2026},     {5, 0, 26, 5, 0, 1, 2026}, {5, 13, 26, 5, 0, 1, 2026},
      {5, 0x1C, 26, 5, 0, 12, 2026},  {0, 6, 26, 1, 0, 6, 2026}, {0xE0, 6, 26, 1, 7, 6, 2026},
      {0x3F, 12, 26, 31, 1, 12, 2026}};
  for (const auto& [dayOctet, monthOctet, yearOctet, day, dayOfWeek, month, year] : cases) {
    const Time7 t = DecodeTime7(std::vector<std::uint8_t>{
        0x10, 0x27, 0x45, 0x97, static_cast<std::uint8_t>(dayOctet),
        static_cast<std::uint8_t>(monthOctet), static_cast<std::uint8_t>(yearOctet)});
    EXPECT_EQ(std::tuple(dayOctet, monthOctet, yearOctet, t.day, t.dayOfWeek, t.month, t.year),
              std::tuple(dayOctet, monthOctet, yearOctet, day, dayOfWeek, month, year));
    EXPECT_EQ(std::tuple(t.time.milliseconds, t.time.Seconds(), t.time.minutes, t.time.reserve1,
                         t.time.invalid, t.time.hours, t.time.summerTime),
              std::tuple(10000, 10, 5, true, false, 23, true));
  }
}

TEST(ElementCodings, FloatTextIsCutNotRoundedWithTheExponentApartOutsideMinus3To8) {
  using Case = std::pair<double, const char*>;
  const Case cases[] = {{100.0f, "100"},
                        {0.1f, "0.1"},
                        {-1234.5678f, "-1234.5677"},
                        {123456789.0, "123456789"},
                        {0.001, "0.001"},
                        {0.0, "0"},
                        {1.5e9, "1.5E9"},
                        {1e-10f, "1E-10"},
                        {0.0001, "1E-4"},
                        {12345678901.0, "1.234567E10"},
                        {-3.25e-20, "-3.25E-20"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatText(value), text);
  EXPECT_EQ(FloatText(std::nan("")), "NAN");
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(FloatText(2.5, ","), "2,5");
  const std::string codes = {1, 2, 3, 8};
  EXPECT_EQ(std::tuple(TooPosition(codes, 1), TooPosition(codes, 8), TooPosition(codes, 9)),
            std::tuple(1, 4, 0));
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

  // Rounded to the millisecond as llround rounds. A day number with an odd
  // number of 2048ths of a day lies on a half millisecond (j * 42187.5);
  // each is checked with its neighbours on either side.
  for (int j = 1; j < 2048; j += 2) {
    const double tie = 46362.0 + j / 2048.0;
    for (const double dayNumber : {std::nextafter(tie, 0.0), tie, std::nextafter(tie, 1e9)}) {
      const long long want =
          std::llround((dayNumber - std::floor(dayNumber)) * 86'400'000.0) % 86'400'000;
      const DayTime d = SplitDayNumber(dayNumber);
      ASSERT_EQ(((d.hour * 60LL + d.minute) * 60 + d.second) * 1000 + d.millisecond, want)
          << std::hexfloat << dayNumber;
    }
  }
}

// The fixed-point texts must be printf's to the octet: the exported lines may
// not change. Ties, values just beside them, signs of zero and values past
// the integer range are where a shortcut would go wrong.
TEST(FormatText, FixedPointDigitsAreThoseOfPrintf) {
  std::vector<double> values = {0.0,   -0.0,   0.0005, 0.0015,       2.675,    1.0005,   -0.0004,
                                0.125, -0.125, 9.9995, 99.995,       999.95,   1e11,     1e12 + 0.5,
                                1e300, -1e300, 5e-324, std::nan(""), INFINITY, -INFINITY};
  // Deltas of time stamps as the header lines show them, and values spread
  // over many magnitudes.
  for (int i = 0; i < 20000; ++i) {
    values.push_back((46362.0 + i * 5e-3 / 86400.0 - 46362.0) * 86400.0);
    values.push_back(
        std::ldexp(static_cast<double>((i * 2654435761u) % 100003) - 50000.0, (i % 60) - 40));
    values.push_back(static_cast<float>((i % 8191 - 4096) * 100.0 / 3413.0));
  }
  for (const double v : values) {
    for (int decimals = 0; decimals <= 3; ++decimals) {
      char expected[400];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
      std::string got = "x";
      AppendFixed(got, v, decimals);
      ASSERT_EQ(got, "x" + std::string(expected)) << v << " with " << decimals;
    }
  }
  std::string padded;
  AppendZeroPadded(padded, 7, 3);
  AppendZeroPadded(padded, 12345, 2);
  EXPECT_EQ(padded, "00712345");
}

TEST(FormatText, DayTimeTextsFollowTheSecondAndTheFormat) {
  DayTimeTexts texts;
  DayTime t = SplitDayNumber(46362.25);
  EXPECT_EQ(texts.Text(t, "%H:%M:%S"), "06:00:00");
  t.millisecond = 999;
  EXPECT_EQ(texts.Text(t, "%H:%M:%S"), "06:00:00");
  t.second = 1;
  EXPECT_EQ(texts.Text(t, "%H:%M:%S"), "06:00:01");
  EXPECT_EQ(texts.Text(t, "%d.%m.%Y"), "06.12.2026");
  t.day = 7;
  EXPECT_EQ(texts.Text(t, "%d.%m.%Y"), "07.12.2026");
}

// The splitter of an export takes shortcuts within a day and a second; each
// split must still be the one of the time stamp alone, and a new second be
// told exactly when the second or the day differs from the split before.
TEST(FormatText, ASplitterOfManyTimeStampsGivesWhatEachSplitGives) {
  const double second = 1.0 / 86400.0;
  const double justBeforeMidnight = 46362.0 + 86399.9996 * second;  // rounds to the next day
  std::vector<double> stamps = {46362.25,
                                46362.25 + 0.4 * second,
                                46362.25 + 0.9996 * second,
                                46362.25 + 0.2 * second,
                                justBeforeMidnight,
                                std::nextafter(justBeforeMidnight, 0.0),
                                46363.0,
                                46363.0 + 0.0004 * second,
                                46363.0 + 3.5 * second,
                                46363.0 + 0.25 * second,
                                46362.9,
                                std::nan(""),
                                46362.9,
                                1e300,
                                46362.9,
                                -0.25,
                                -0.25 + 0.5 * second,
                                -0.0,
                                0.0,
                                2958465.0,
                                2958465.0 + 0.5 * second,
                                2958464.9999,
                                2958465.0,
                                -2958465.0,
                                -2958465.5,
                                std::numeric_limits<double>::infinity(),
                                46362.5};
  // A walk over hours in steps of a few milliseconds, with the ties of half
  // a millisecond and their neighbours.
  double at = 46362.99;
  for (int i = 0; i < 4000; ++i) {
    at += (i % 7) * 0.37 * second / 100.0;
    stamps.push_back(at);
  }
  for (int j = 1; j < 2048; j += 2) {
    const double tie = 46362.0 + j / 2048.0;
    stamps.insert(stamps.end(), {std::nextafter(tie, 0.0), tie, std::nextafter(tie, 1e9)});
  }

  DaySplitter splitter;
  DayTime before{};
  bool first = true;
  for (const double stamp : stamps) {
    const DayTime want = SplitDayNumber(stamp);
    const DayTime& got = splitter.Split(stamp);
    const auto fields = [](const DayTime& t) {
      return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
    };
    ASSERT_EQ(fields(got), fields(want)) << std::hexfloat << stamp;
    const bool valid = std::isfinite(stamp) && std::fabs(stamp) <= 2958465.0;
    const bool newSecond =
        first || !valid ||
        std::tie(want.year, want.month, want.day, want.hour, want.minute, want.second) !=
            std::tie(before.year, before.month, before.day, before.hour, before.minute,
                     before.second);
    ASSERT_EQ(splitter.NewSecond(), newSecond) << std::hexfloat << stamp;
    before = want;
    first = !valid;
  }
}

}  // namespace
}  // namespace kivo
