#include "platform/sim/virtual_clock.h"

namespace kivo {

namespace {

constexpr std::int64_t kDayMs = 86'400'000;

// Civil date of a day number (days since 1899-12-30).
void CivilFromDayNumber(std::int64_t dayNumber, int& year, int& month, int& day) {
  std::int64_t z = dayNumber - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

VirtualClock::VirtualClock(LocalTime start, std::uint32_t counterStart)
    : counter_(counterStart), startCounter_(counterStart) {
  startDayMs_ = static_cast<std::int64_t>(DayNumber(start.year, start.month, start.day)) * kDayMs +
                start.MillisecondsOfDay();
}

LocalTime VirtualClock::Now() {
  std::int64_t total = startDayMs_ + static_cast<std::int64_t>(counter_ - startCounter_) + dayShift_;
  std::int64_t dayNumber = total / kDayMs;
  std::int64_t ms = total % kDayMs;
  LocalTime t;
  CivilFromDayNumber(dayNumber, t.year, t.month, t.day);
  t.hour = static_cast<int>(ms / 3'600'000);
  t.minute = static_cast<int>(ms / 60'000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

OneShotTimer::Id VirtualClock::Start(std::uint32_t ms, std::function<void()> onExpiry) {
  Id id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  timers_.emplace(counter_ + ms, Timer{id, std::move(onExpiry)});
  return id;
}

void VirtualClock::Cancel(Id id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.id == id) {
      timers_.erase(it);
      return;
    }
  }
}

void VirtualClock::Advance(std::uint64_t ms) {
  const std::uint64_t target = counter_ + ms;
  while (!timers_.empty() && timers_.begin()->first <= target) {
    auto it = timers_.begin();
    counter_ = std::max(counter_, it->first);
    std::function<void()> fire = std::move(it->second.onExpiry);
    timers_.erase(it);
    if (fire) fire();
  }
  counter_ = target;
}

bool VirtualClock::AdvanceToNextTimer() {
  if (timers_.empty()) return false;
  std::uint64_t deadline = timers_.begin()->first;
  Advance(deadline > counter_ ? deadline - counter_ : 0);
  return true;
}

}  // namespace kivo
