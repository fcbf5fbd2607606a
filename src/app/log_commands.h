// The log commands of the main window that need no window: opening another
// log file as the current log, saving the current log under another name and
// clearing it.
#pragma once

#include <string>

namespace kivo {

class Instance;

inline constexpr int kTextNotALogFile = 1201;
inline constexpr int kTextDeleteLog = 1205;
// The file is written by another program and stays as it is.
inline constexpr int kTextFileInUse = 1437;
inline constexpr int kTextLogNotSaved = 1438;

// Makes `name` the current log. While online the operator is asked to go
// offline first (No ends the command). A file that is not a usable log is
// left untouched: the operator is told and the current log stays current. A
// name that names no file yet starts a new log there. A log that another
// program is writing is opened for reading only.
// Returns whether the chosen log is now the current one.
bool OpenChosenLog(Instance& instance, const std::string& name);

// Saves the current log as `name`: while online the operator is asked to go
// offline first (No ends the command); the log is closed, copied byte for
// byte and opened again as the current log, with its reader at the end. A
// target that another program is writing, or that cannot be written, is
// reported and left as it was. Returns whether the copy was made.
bool SaveChosenLogAs(Instance& instance, const std::string& name);

// Asks whether to delete the current log (text 1205 with the log's file name);
// Yes starts it anew. Returns whether it was cleared.
bool DeleteCurrentLog(Instance& instance);

}  // namespace kivo
