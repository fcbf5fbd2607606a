// The link procedures of a port: the hooks through which the serial path
// hands received frames, link-engine steps and port preparation to the
// primary or secondary procedure, or to the send scheduler on an unassigned
// port. Installed once per port when the Instance is made; they follow the
// port's function as it is at each call.
#pragma once

namespace kivo {

class Instance;
struct PortRecord;

void InstallLinkProcedures(PortRecord& port);

// The procedure's part of a link-engine step.
void ProcedureStep(Instance& instance, PortRecord& port);

}  // namespace kivo
