#include "app/instance.h"

namespace kivo {

Instance::Instance(Platform p) : platform(p), timeBase(p.clock) {}

}  // namespace kivo
