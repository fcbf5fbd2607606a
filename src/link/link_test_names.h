// The link-test flags by name, for the command line: "busy,freeze-fcb".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_record.h"

namespace kivo {

// The name of each flag, by its index (the two reserved flags have none).
const std::vector<std::string>& LinkTestFlagNames();
// The flags of a comma-separated list of names; none for an unknown name,
// with a message that lists the names.
std::optional<LinkTestFlags> ParseLinkTestFlags(std::string_view text, std::string& problem);

}  // namespace kivo
