// The time base: the main-timer tick counter with the measured milliseconds
// per tick, in which every link time-out is a deadline, and a millisecond
// clock tied to the time of day for the time stamps of the log.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace kivo {

inline constexpr std::uint32_t kMsPerDay = 86'400'000;

// Ticks for a time-out of `seconds` at the measured milliseconds per tick.
std::uint32_t SecondsToTicks(double seconds, std::uint32_t msPerTick);

// Whether a tick deadline has been reached (the counter wraps).
constexpr bool TickReached(std::uint32_t tickCounter, std::uint32_t deadline) {
  return static_cast<std::int32_t>(tickCounter - deadline) >= 0;
}

class TimeBase {
 public:
  explicit TimeBase(Clock& clock) : clock_(clock), lastMs_(clock.NowMs()), wideMs_(lastMs_) {}

  // Main-timer ticks since the start; wraps.
  std::uint32_t tickCounter = 0;
  // Milliseconds per tick as last measured (45 to 70).
  std::uint32_t msPerTick = 60;

  // The tick count of a time-out of `seconds` at the present rate.
  std::uint32_t TicksFor(double seconds) const { return SecondsToTicks(seconds, msPerTick); }
  bool Reached(std::uint32_t deadline) const { return TickReached(tickCounter, deadline); }
  Clock& clock() const { return clock_; }

  std::uint32_t NowMs();
  // Milliseconds of the day of the disciplined clock.
  std::uint32_t TimeOfDayMs();
  // Fraction of the day for time stamps.
  double TimeOfDay() { return TimeOfDayMs() / static_cast<double>(kMsPerDay); }

  // Waits for the time of day to change, then ties the clock to it.
  void Synchronise();
  // Re-ties the clock: a large difference is adopted, a medium one moved a
  // quarter of the way, a small one kept.
  void Discipline();

  std::int64_t offset() const { return offset_; }

 private:
  Clock& clock_;
  std::int64_t offset_ = 0;
  // The clock's milliseconds wrap after 49.7 days, which is no whole number
  // of days; the time of day follows them widened to 64 bits, so that it
  // runs on across the wrap instead of jumping by 17 hours.
  std::uint32_t lastMs_;
  std::uint64_t wideMs_;

  std::int64_t WideMs();
  std::int64_t FreshOffset();
};

}  // namespace kivo
