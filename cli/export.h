// kivo-cli export: a log file written out as text, or copied into a new log.
#pragma once

#include <string>
#include <vector>

namespace kivo::cli {

// Runs `kivo-cli export ARGS...` (ARGS without the word "export"); returns
// the exit code: 0 done, 2 usage error, 3 the log cannot be read.
int RunExport(const std::vector<std::string>& args, int languageIndex);

}  // namespace kivo::cli
