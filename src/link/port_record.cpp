#include "link/port_record.h"

namespace kivo {

namespace {

// Items 0..9 of the link-test window in order; items 10 and 11 are reserved.
constexpr std::array<bool LinkTestFlags::*, 10> kNamedFlags{
    &LinkTestFlags::ltBusy,      &LinkTestFlags::ltInvertRes,  &LinkTestFlags::ltInvertPrm,
    &LinkTestFlags::ltFcbFrozen, &LinkTestFlags::ltInvertFcv,  &LinkTestFlags::ltForceAcd,
    &LinkTestFlags::ltForceDfc,  &LinkTestFlags::ltNoUserData, &LinkTestFlags::ltDistFault1,
    &LinkTestFlags::ltDistFault2};

}  // namespace

bool LinkTestFlags::Get(int index) const {
  if (index < 0 || index >= kCount) return false;
  const auto i = static_cast<std::size_t>(index);
  if (i < kNamedFlags.size()) return this->*kNamedFlags[i];
  return reserved[i - kNamedFlags.size()];
}

void LinkTestFlags::Set(int index, bool on) {
  if (index < 0 || index >= kCount) return;
  const auto i = static_cast<std::size_t>(index);
  if (i < kNamedFlags.size()) {
    this->*kNamedFlags[i] = on;
  } else {
    reserved[i - kNamedFlags.size()] = on;
  }
}

void PortRecord::ResetLinkState() {
  notReset = kAllListBits;
  fcbBits = 0;
  currentIndex = 0;
  previousIndex = 0;
  answeredAddress = PortParams::kAddressEnd;
  acd = false;
  portFcb = false;
  monitorAddresses = FreeMonitorTable();
  monitorFcb = 0;
  transmitReady = false;
}

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
