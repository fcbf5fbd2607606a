// One record per serial port: its parameter block first, then the run-time
// state of the serial path and the link procedures.
#pragma once

#include <cstdint>
#include <memory>

#include "link/port_params.h"
#include "platform/serial_port.h"

namespace kivo {

struct PortRecord {
  PortParams params;
  int index = 0;                    // 0 for port 1, 1 for port 2
  std::uint8_t receiveChannel = 1;  // 1 or 3
  std::uint8_t transmitChannel = 2; // 2 or 4
  std::unique_ptr<SerialPort> serial;
  bool open = false;

  int Number() const { return index + 1; }
};

// Port 1 with the defaults; port 2 a copy with its own channels and first
// link address 2.
void InitialisePortRecords(PortRecord& port1, PortRecord& port2, std::uint32_t baud);

}  // namespace kivo
