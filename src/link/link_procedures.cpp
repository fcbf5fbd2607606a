#include "link/link_procedures.h"

#include "link/port_record.h"
#include "link/primary.h"
#include "link/secondary.h"
#include "link/transmit.h"
#include "record/frame_status.h"

namespace kivo {

void OnFrame(LinkContext& link, PortRecord& port, TLogEntry& entry, const StationUpdate& update) {
  TakeStationUpdate(port, update);
  if (!status::ReachesLinkProcedure(entry.status)) return;
  switch (port.params.function) {
    case PortFunction::Primary:
      EndCharacterTime(link, port);
      OnAnswer(link, port, entry);
      break;
    case PortFunction::Secondary:
      // A master that polls as soon as it has our answer is answered at once.
      EndCharacterTime(link, port);
      OnRequest(link, port, entry);
      break;
    case PortFunction::Unassigned:
    case PortFunction::GapMonitor:
      break;
  }
}

void ProcedureStep(LinkContext& link, PortRecord& port) {
  link.source.DisturbanceStep(port);
  if (port.params.function == PortFunction::Secondary) HandshakeStep(link, port);
  if (!TransmitIdle(port)) return;
  switch (port.params.function) {
    case PortFunction::Primary:
      PrimaryStep(link, port);
      break;
    case PortFunction::Secondary:
      SecondaryStep(link, port);
      break;
    case PortFunction::Unassigned:
    case PortFunction::GapMonitor: {
      link.source.SelectDue(port);
      OutgoingFrame frame;
      if (port.send.nextSend != 0 && link.source.SendSelected(port, frame)) {
        SendFrame(link, port, frame);
      }
      break;
    }
  }
}

void PrepareProcedures(LinkContext& link, PortRecord& port) {
  PreparePrimary(link, port);
  PrepareSecondary(link, port);
  link.source.PreparePort(port);
}

}  // namespace kivo
