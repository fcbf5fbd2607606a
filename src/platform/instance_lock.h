// The two instance slots: named, process-wide locks that the system releases
// when the process ends.
#pragma once

namespace kivo {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Claims slot 1 or 2 without waiting; false when another process holds it or
  // it cannot be created. A claimed slot is held until the object is destroyed.
  virtual bool TryClaim(int slot) = 0;
};

}  // namespace kivo
