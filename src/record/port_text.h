// The port parameter block as text, for the command line and for printing
// it so that it can be given again: the line form "9600/8E1" (baud rate, data
// bits, parity N/O/E/M/S, stop bits) and NAME=VALUE settings for every other
// field, e.g. "function=primary,addresses=1,2,3,timeout=250,e5=never".
// Text that a port block prints reads back into the same block.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "record/port_params.h"

namespace kivo {

// The line form of the block: "9600/8E1".
std::string LineText(const PortParams& params);
// Sets baud rate, data bits, parity and stop bits from the line form. Any
// rate from 50 to 4,000,000 is taken (the baud-rate index is the caller's).
// False with a message naming the allowed forms.
bool ApplyLineText(PortParams& params, std::string_view text, std::string& problem);

// Every field but the port number and the line form, as NAME=VALUE settings
// joined by commas.
std::string SettingsText(const PortParams& params);
// Sets the fields named. A value may itself hold commas (addresses, watched
// lines): a part without '=' belongs to the setting before it. Nothing is
// changed when a name is unknown or a value out of range; the message then
// names the setting and what it takes.
bool ApplySettingsText(PortParams& params, std::string_view text, std::string& problem);

// The names of the settings in the order SettingsText prints them, each
// with what it takes ("1..65535 ms", "link|fcb").
struct PortSettingName {
  std::string name;
  std::string takes;
};
std::vector<PortSettingName> PortSettingNames();

}  // namespace kivo
