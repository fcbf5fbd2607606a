#include "link/link_context.h"

#include "link/port_record.h"
#include "platform/time_base.h"

namespace kivo {

void NoTelegrams::SelectDue(PortRecord& port) {
  port.send.Clear();
}

PortRecord& LinkContext::Port(int index) {
  return ports[static_cast<std::size_t>(index & 1)];
}

Clock& LinkContext::clock() const {
  return time.clock();
}

}  // namespace kivo
