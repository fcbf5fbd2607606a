// Time as the program sees it: a wrapping millisecond counter for intervals and
// the local date and time of day for time stamps and minute work.
#pragma once

#include <cstdint>

namespace kivo {

struct LocalTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  bool summerTime = false;

  std::uint32_t MillisecondsOfDay() const {
    return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
  }
};

// Days since 1899-12-30 of a civil date (the day numbers of the files).
std::int32_t DayNumber(int year, int month, int day);

class Clock {
 public:
  virtual ~Clock() = default;
  // High-resolution millisecond counter, 32-bit, wrapping.
  virtual std::uint32_t NowMs() = 0;
  // Local date and time of day.
  virtual LocalTime Now() = 0;
  // Sleeps (the virtual clock advances instead).
  virtual void SleepMs(std::uint32_t ms) = 0;
};

}  // namespace kivo
