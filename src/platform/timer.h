// One-shot timers. The drivers (window event loop, command-line poll loop, the
// virtual clock of the tests) deliver the callbacks in the main thread.
#pragma once

#include <cstdint>
#include <functional>

namespace kivo {

class OneShotTimer {
 public:
  using Id = std::uint32_t;  // 0 is never a valid timer
  virtual ~OneShotTimer() = default;
  virtual Id Start(std::uint32_t ms, std::function<void()> onExpiry) = 0;
  virtual void Cancel(Id id) = 0;
};

}  // namespace kivo
