#include "platform/time_base.h"

#include <gtest/gtest.h>

#include "platform/sim/virtual_clock.h"

namespace kivo {
namespace {

TEST(TimeBase, SecondsBecomeTicksTruncatedPlusOneAndDaysCountFrom1899_12_30) {
  EXPECT_EQ(SecondsToTicks(1.0, 54), 19u);  // 997 / 54 = 18.46
  EXPECT_EQ(SecondsToTicks(0.0, 54), 1u);
  EXPECT_EQ(SecondsToTicks(0.054, 54), 1u);  // 0.997
  EXPECT_EQ(SecondsToTicks(0.17, 60), 3u);   // 2.82
  EXPECT_EQ(SecondsToTicks(3.0, 45), 67u);   // 66.47
  EXPECT_EQ(SecondsToTicks(3.0, 70), 43u);   // 42.73
  EXPECT_EQ(DayNumber(1899, 12, 30), 0);
  EXPECT_EQ(DayNumber(1900, 1, 1), 2);
  EXPECT_EQ(DayNumber(1970, 1, 1), 25569);
  EXPECT_EQ(DayNumber(2026, 12, 6), 46362);
}

TEST(TimeBase, SynchronisedClockGivesTheTimeOfDayAcrossMidnight) {
  VirtualClock clock(LocalTime{2026, 3, 1, 23, 59, 58, 500, false}, 123456);
  TimeBase base(clock);
  base.Synchronise();
  EXPECT_EQ(base.TimeOfDayMs(), clock.Now().MillisecondsOfDay());
  clock.Advance(1500);
  EXPECT_EQ(base.TimeOfDayMs(), clock.Now().MillisecondsOfDay());
  clock.Advance(400);  // past midnight
  EXPECT_LT(base.TimeOfDayMs(), 1000u);
  EXPECT_EQ(base.TimeOfDayMs(), clock.Now().MillisecondsOfDay());
}

// 2^32 ms is 49 days and 61,367,296 ms: a time of day taken from the bare
// counter would jump by that much when it wraps.
TEST(TimeBase, TimeOfDayRunsOnWhenTheMillisecondCounterWraps) {
  VirtualClock clock(LocalTime{2026, 3, 1, 10, 0, 0, 0, false}, 0xFFFFFFFFu - 999);
  TimeBase base(clock);
  base.Synchronise();
  const std::int64_t offset = base.offset();
  for (int step = 0; step < 3; ++step) {
    clock.Advance(700);  // 1,000 ms before the wrap, then past it
    EXPECT_EQ(base.TimeOfDayMs(), clock.Now().MillisecondsOfDay()) << "step " << step;
    base.Discipline();
    EXPECT_EQ(base.offset(), offset) << "step " << step;
  }
}

TEST(TimeBase, DisciplineKeepsUpTo20MsMovesAQuarterUpTo200AndAdoptsMore) {
  VirtualClock clock(LocalTime{2026, 3, 1, 10, 0, 0, 0, false}, 0);
  TimeBase base(clock);
  base.Synchronise();
  const std::int64_t start = base.offset();
  for (auto [shift, offset] :
       std::initializer_list<std::pair<int, int>>{{20, 0}, {1, 5}, {184, 55}, {51, 256}}) {
    clock.ShiftTimeOfDay(shift);
    base.Discipline();
    EXPECT_EQ(base.offset(), start + offset) << "after a shift of " << shift;
  }
}

}  // namespace
}  // namespace kivo
