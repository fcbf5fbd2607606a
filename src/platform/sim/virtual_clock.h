// Virtual time for deterministic tests: the clock moves only when told to,
// and one-shot timers fire when time passes their deadline.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/clock.h"
#include "platform/timer.h"

namespace kivo {

class VirtualClock : public Clock, public OneShotTimer {
 public:
  // Starts at the given local date and time; the millisecond counter at `counterStart`.
  explicit VirtualClock(LocalTime start = LocalTime{2026, 1, 5, 8, 0, 0, 0, false},
                        std::uint32_t counterStart = 1000);

  std::uint32_t NowMs() override { return static_cast<std::uint32_t>(counter_); }
  LocalTime Now() override;
  // Sleeping advances virtual time.
  void SleepMs(std::uint32_t ms) override { Advance(ms); }

  Id Start(std::uint32_t ms, std::function<void()> onExpiry) override;
  void Cancel(Id id) override;

  // Moves time forward, firing due timers in deadline order.
  void Advance(std::uint64_t ms);
  // Moves time to the next timer's deadline and fires it; false when none.
  bool AdvanceToNextTimer();
  std::size_t PendingTimers() const { return timers_.size(); }
  // Lets the time of day run away from the counter (a drifting system clock).
  void ShiftTimeOfDay(std::int64_t ms) { dayShift_ += ms; }

 private:
  struct Timer {
    Id id;
    std::function<void()> onExpiry;
  };
  std::uint64_t counter_;
  std::uint64_t startCounter_;
  std::int64_t startDayMs_;  // ms since day 0 at startCounter_
  std::int64_t dayShift_ = 0;
  Id nextId_ = 1;
  std::multimap<std::uint64_t, Timer> timers_;
};

}  // namespace kivo
