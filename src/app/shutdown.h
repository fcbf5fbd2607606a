// Ending a run.
#pragma once

namespace kivo {

class Instance;

// Asks whether changed send data are to be saved. Returns false when the
// operator cancels (the program keeps running); No drops the changes.
bool CloseQuery(Instance& instance);

// Closes the ports and the log, saves the send-telegram file while the send
// data are still marked modified, and writes the settings.
void FinishRun(Instance& instance);

}  // namespace kivo
