#include "app/instance.h"
#include "send/send_execution.h"

namespace kivo {

int CountPendingResponses(Instance&, PortRecord&) {
  return 0;
}
bool SendPendingResponse(Instance&, PortRecord&) {
  return false;
}
void OnGeneralCommand(Instance&, PortRecord&, TLogEntry&) {}

}  // namespace kivo
