#include "link/disturbance.h"

// The transfer itself is being written; until then no port takes part in one.

namespace kivo {

void OnDisturbanceAsdu(Instance&, PortRecord&, TLogEntry&) {}
bool NextDisturbanceTelegram(Instance&, PortRecord&) {
  return false;
}
int DisturbanceClass1Items(const Instance&, const PortRecord&) {
  return 0;
}
void DisturbanceStep(Instance&, PortRecord&) {}
void EndDisturbanceTransfer(Instance&, PortRecord&) {}
void BuildDisturbanceList(Instance&, PortRecord&) {}

}  // namespace kivo
