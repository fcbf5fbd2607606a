// The general parameters as NAME=VALUE text for the command line, and for
// printing them so that they can be given again, like the port block
// (record/port_text.h): "common-address=separate,summer-time=on,log-size=20".
// Text that a setup prints reads back into the same setup.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "record/general_params.h"

namespace kivo {

// What the text sets: the record, and the one option of the settings that
// changes a run without a window (a new log every day); the other options
// only place shortcuts and menu items of the window program.
struct GeneralSetup {
  GeneralParams general;
  bool dailyLog = false;
  bool operator==(const GeneralSetup&) const = default;
};

// The settings joined by commas; `withOptions` adds the option flags, which
// the send-telegram file does not keep.
std::string GeneralText(const GeneralSetup& setup, bool withOptions);

// Sets the fields named. Nothing changes when a name is unknown, a value out
// of range or a part not NAME=VALUE; the message then names the setting and
// what it takes. Without `withOptions` an option flag counts as unknown.
bool ApplyGeneralText(GeneralSetup& setup, std::string_view text, bool withOptions,
                      std::string& problem);

struct GeneralSettingName {
  std::string name;
  std::string takes;
  bool option;  // a flag of the settings, not of the record
};
// In the order GeneralText prints them.
std::vector<GeneralSettingName> GeneralSettingNames();

}  // namespace kivo
