// Opening, closing and preparing the ports, and their modem lines.
#pragma once

#include "link/link_context.h"

namespace kivo {

// The port's serial path and procedures start afresh from its parameters.
void PreparePort(LinkContext& link, int portIndex);
// Opens the port with its number and character format; a port that cannot be
// opened stays closed and is reported to the observer. True when open.
bool OpenPort(LinkContext& link, int portIndex);
void ClosePort(LinkContext& link, int portIndex);
// The modem-status trigger: logs event 43 when a watched line changed.
void OnModemStatus(LinkContext& link, int portIndex);

}  // namespace kivo
