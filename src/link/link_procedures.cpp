#include "link/link_procedures.h"

#include "app/instance.h"
#include "link/disturbance.h"
#include "link/primary.h"
#include "link/secondary.h"
#include "link/serial_path.h"
#include "send/send_execution.h"

namespace kivo {

namespace {

void OnFrame(Instance& instance, PortRecord& port, TLogEntry& entry) {
  switch (port.params.function) {
    case PortFunction::Primary:
      OnAnswer(instance, port, entry);
      break;
    case PortFunction::Secondary:
      OnRequest(instance, port, entry);
      break;
    case PortFunction::Unassigned:
    case PortFunction::GapMonitor:
      break;
  }
}

void Prepare(Instance& instance, PortRecord& port) {
  PreparePrimary(instance, port);
  PrepareSecondary(instance, port);
  StopSending(instance, PortParams::kAddressEnd);
  BuildDisturbanceList(instance, port);
}

}  // namespace

void ProcedureStep(Instance& instance, PortRecord& port) {
  DisturbanceStep(instance, port);
  if (port.params.function == PortFunction::Secondary) HandshakeStep(instance, port);
  if (!TransmitIdle(port)) return;
  switch (port.params.function) {
    case PortFunction::Primary:
      PrimaryStep(instance, port);
      break;
    case PortFunction::Secondary:
      SecondaryStep(instance, port);
      break;
    case PortFunction::Unassigned:
    case PortFunction::GapMonitor:
      SelectDue(instance, port);
      if (port.send.nextSend != 0 && SendSelected(instance, port)) StartTransmit(instance, port);
      break;
  }
}

void InstallLinkProcedures(PortRecord& port) {
  port.link.onFrame = OnFrame;
  port.link.step = ProcedureStep;
  port.link.onLinkEvent = [](Instance& instance, PortRecord& p, int trigger) {
    OnLinkEvent(instance, p, trigger);
  };
  port.link.prepare = Prepare;
}

}  // namespace kivo
