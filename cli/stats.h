// kivo-cli stats: timing statistics of a log file, per port and link address.
#pragma once

#include <string>
#include <vector>

namespace kivo::cli {

// Runs `kivo-cli stats ARGS...` (ARGS without the word "stats"); returns the
// exit code: 0 done, 1 writing failed, 2 usage error, 3 the log cannot be read.
int RunStats(const std::vector<std::string>& args);

}  // namespace kivo::cli
