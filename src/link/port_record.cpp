#include "link/port_record.h"

namespace kivo {

void InitialisePortRecords(PortRecord& port1, PortRecord& port2, std::uint32_t baud) {
  port1.params.baud = baud;
  port1.index = 0;
  port1.receiveChannel = 1;
  port1.transmitChannel = 2;
  port2.params = port1.params;
  port2.index = 1;
  port2.receiveChannel = 3;
  port2.transmitChannel = 4;
  port2.params.addresses[0] = 2;
}

}  // namespace kivo
