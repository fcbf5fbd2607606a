// Descriptors a driver watches for readability. The command-line poll loop
// and the window's event loop implement it; the callbacks run in the main
// thread.
#pragma once

#include <functional>

namespace kivo {

class DescriptorWatch {
 public:
  virtual ~DescriptorWatch() = default;
  // Calls `onReadable` whenever `fd` has data (or a hang-up).
  virtual void Watch(int fd, std::function<void()> onReadable) = 0;
  virtual void Unwatch(int fd) = 0;
};

}  // namespace kivo
