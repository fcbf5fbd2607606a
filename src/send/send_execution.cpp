#include "send/send_execution.h"

#include "app/instance.h"
#include "send/send_records.h"

// No telegram, list or simulation row exists yet: selections stay empty and
// the triggers have nothing to start. StopSending already ends the DTR
// handshakes, which belong to the ports.

namespace kivo {

void SelectDue(Instance& instance, PortRecord& port) {
  port.send.Clear();
  SelectDueIntoFreeSlots(instance, port, false);
}

void SelectDueIntoFreeSlots(Instance&, PortRecord&, bool) {}

// Items of the engine itself (255) are built by the procedures, never here.
bool SendSelected(Instance&, PortRecord&) {
  return false;
}

void OnAsduReceived(Instance&, PortRecord&, const TLogEntry&) {}

void OnLinkEvent(Instance&, PortRecord&, int) {}

void StopSending(Instance& instance, std::uint8_t) {
  for (PortRecord& port : instance.ports) {
    port.secondary.handshake.active = false;
    port.secondary.handshake.listRunning = false;
  }
  instance.app.timedSendArmed = false;
}

bool BuildOperatorIdentification(Instance&, PortRecord&) {
  return false;
}

bool SendNow(Instance&, SendHeader&) { return false; }
bool StartList(Instance&, int) { return false; }
void OnMinute(Instance&, int) {}
bool AnySending(const Instance&) { return false; }
std::string SendCaption(const Instance&, int) { return {}; }

}  // namespace kivo
