#include "platform/time_base.h"

#include <cmath>
#include <cstdlib>

#include "platform/clock.h"

namespace kivo {

std::uint32_t SecondsToTicks(double seconds, std::uint32_t msPerTick) {
  if (msPerTick == 0) msPerTick = 60;
  double ticks = std::trunc(997.0 * seconds / msPerTick);
  if (ticks < 0) ticks = 0;
  if (ticks > 4e9) ticks = 4e9;
  return static_cast<std::uint32_t>(ticks) + 1;
}

std::uint32_t TimeBase::NowMs() {
  return clock_.NowMs();
}

std::int64_t TimeBase::WideMs() {
  const std::uint32_t now = clock_.NowMs();
  wideMs_ += static_cast<std::uint32_t>(now - lastMs_);
  lastMs_ = now;
  return static_cast<std::int64_t>(wideMs_);
}

std::uint32_t TimeBase::TimeOfDayMs() {
  std::int64_t t = (WideMs() + offset_) % kMsPerDay;
  if (t < 0) t += kMsPerDay;
  return static_cast<std::uint32_t>(t);
}

std::int64_t TimeBase::FreshOffset() {
  return static_cast<std::int64_t>(clock_.Now().MillisecondsOfDay()) - WideMs() % kMsPerDay;
}

void TimeBase::Synchronise() {
  // The platform's time of day moves in steps; tie the clock to the start of one.
  const std::uint32_t start = clock_.Now().MillisecondsOfDay();
  for (int i = 0; i < 100 && clock_.Now().MillisecondsOfDay() == start; ++i) clock_.SleepMs(1);
  offset_ = FreshOffset();
}

void TimeBase::Discipline() {
  std::int64_t fresh = FreshOffset();
  std::int64_t difference = fresh - offset_;
  // Offsets that differ by about a day are the same tie seen across midnight.
  if (difference > kMsPerDay / 2) difference -= kMsPerDay;
  if (difference < -static_cast<std::int64_t>(kMsPerDay / 2)) difference += kMsPerDay;
  std::int64_t magnitude = std::llabs(difference);
  if (magnitude >= 201) {
    offset_ = fresh;
  } else if (magnitude >= 21) {
    offset_ += difference / 4;
  }
}

}  // namespace kivo
