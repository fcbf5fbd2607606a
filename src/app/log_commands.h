// The log commands of the main window that need no window: opening another
// log file as the current log.
#pragma once

#include <string>

namespace kivo {

class Instance;

inline constexpr int kTextNotALogFile = 1201;

// Makes `name` the current log. While online the operator is asked to go
// offline first (No ends the command). A file that is not a usable log is
// left untouched: the operator is told and the current log stays current. A
// name that names no file yet starts a new log there.
// Returns whether the chosen log is now the current one.
bool OpenChosenLog(Instance& instance, const std::string& name);

}  // namespace kivo
