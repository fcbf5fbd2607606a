// Opening, closing and preparing the ports, and their modem lines.
#pragma once

#include <string>

#include "link/link_context.h"

namespace kivo {

// The port's serial path and procedures start afresh from its parameters.
void PreparePort(LinkContext& link, int portIndex);
// Opens the port with its number and character format; a port that cannot be
// opened stays closed and is reported to the observer (unless `report` is
// false). With the reopen option it is then tried again every second. True
// when open.
bool OpenPort(LinkContext& link, int portIndex, bool report = true);
// Closes the port and stops trying to reopen it.
void ClosePort(LinkContext& link, int portIndex);
// A device that went away: the port is closed with its event, the observer
// told why, and with the reopen option the port is tried again every second.
void PortGone(LinkContext& link, int portIndex, const std::string& why);
// Each tick while online: a port awaiting its device is tried again once a
// second, quietly. When it opens, event 48 is logged and its link procedures
// start over. True when it opened.
bool RetryReopen(LinkContext& link, int portIndex);
// The modem-status trigger: logs event 43 when a watched line changed.
void OnModemStatus(LinkContext& link, int portIndex);

}  // namespace kivo
