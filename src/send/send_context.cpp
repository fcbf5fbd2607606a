#include "send/send_context.h"

#include "link/link_context.h"
#include "link/port_record.h"
#include "send/disturbance_state.h"

namespace kivo {

std::array<PortRecord, 2>& SendContext::ports() {
  return link.ports;
}

const GeneralParams& SendContext::general() const {
  return link.general;
}

TimeBase& SendContext::time() {
  return link.time;
}

DisturbanceTransfer& SendContext::Transfer(const PortRecord& port) {
  return transfers[static_cast<std::size_t>(port.index & 1)];
}

}  // namespace kivo
