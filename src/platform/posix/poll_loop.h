// The event loop of the command-line program: poll() over descriptors, one
// periodic trigger and one-shot timers, all delivered in the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/descriptor_watch.h"
#include "platform/timer.h"

namespace kivo {

class PollLoop : public OneShotTimer, public DescriptorWatch {
 public:
  explicit PollLoop(Clock& clock) : clock_(clock) {}

  Id Start(std::uint32_t ms, std::function<void()> onExpiry) override;
  void Cancel(Id id) override;

  void SetPeriodic(std::uint32_t intervalMs, std::function<void()> onTick);
  void Watch(int fd, std::function<void()> onReadable) override;
  void Unwatch(int fd) override;

  // Runs until Stop() or until `keepRunning` returns false.
  void Run(const std::function<bool()>& keepRunning = {});
  void Stop() { stopped_ = true; }

 private:
  struct Timer {
    Id id;
    std::function<void()> onExpiry;
  };
  Clock& clock_;
  bool stopped_ = false;
  Id nextId_ = 1;
  std::multimap<std::uint64_t, Timer> timers_;  // by absolute ms of an unwrapped counter
  std::map<int, std::function<void()>> watches_;
  std::uint32_t periodMs_ = 0;
  std::function<void()> onTick_;
  std::uint64_t nextTick_ = 0;
  std::uint64_t unwrapped_ = 0;
  std::uint32_t lastRaw_ = 0;
  bool started_ = false;

  std::uint64_t Now();
};

}  // namespace kivo
