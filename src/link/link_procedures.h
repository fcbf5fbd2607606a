// The link procedures of a port, chosen by its function at each call: the
// primary or secondary procedure, or on an unassigned port the operator's
// telegrams at once and the FCBs followed on the line.
#pragma once

#include "link/frame_codec.h"
#include "link/link_context.h"

namespace kivo {

// A received frame after validation, before it is logged: the port takes
// over what the frame tells about its stations, and a frame that reaches the
// link procedure goes to OnAnswer (primary) or OnRequest (secondary).
void OnFrame(LinkContext& link, PortRecord& port, TLogEntry& entry, const StationUpdate& update);

// The procedure's part of a link-engine step.
void ProcedureStep(LinkContext& link, PortRecord& port);

// Preparing the port: the procedures clear their own state, all sending
// stops and the disturbance transfer starts afresh.
void PrepareProcedures(LinkContext& link, PortRecord& port);

}  // namespace kivo
