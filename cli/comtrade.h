// kivo-cli comtrade: a recorded disturbance file as a COMTRADE record.
#pragma once

#include <string>
#include <vector>

namespace kivo::cli {

// Runs `kivo-cli comtrade ARGS...` (ARGS without the word "comtrade");
// returns the exit code: 0 written, 1 writing failed, 2 usage error, 3 the
// file is no complete disturbance recording (nothing written).
int RunComtrade(const std::vector<std::string>& args);

}  // namespace kivo::cli
