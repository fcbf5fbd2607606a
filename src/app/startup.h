// Start-up of a program: texts, instance slot, data directory and settings,
// port records; then the main state that the window (or the command-line
// driver) runs with.
#pragma once

#include <string>
#include <vector>

namespace kivo {

class Instance;

inline constexpr int kExitNoTexts = 99;

enum class StartOutcome {
  Run,      // a slot was claimed: create the main window
  NoTexts,  // the language file could not be loaded: end with exit code 99
  NoSlot,   // both instance slots are taken: end silently
};

// Start-up steps up to the creation of the main window.
StartOutcome StartInstance(Instance& instance);

// Loads the texts of `languageIndex` into the instance and takes the frame
// rules from them; a fault is shown when `tellFault`, and leaves the texts
// and rules as they were.
bool LoadInstanceTexts(Instance& instance, int languageIndex, bool tellFault);

// Loads the texts of `languageIndex`; when that fails after a language switch
// or at the second start-up load, the other language is tried so that the
// program never runs on a half-loaded table. Returns whether a load succeeded.
bool ReloadTexts(Instance& instance, int languageIndex);

// The start-up work of the main window that needs no window: clock, command
// line, port enumeration and the tick at which the online state is applied.
void CreateMainState(Instance& instance, const std::vector<std::string>& arguments);

// Tests port numbers 1..64; a number counts when a port record uses it while
// online, or when the platform reports it present. At most 32 are listed.
void EnumeratePorts(Instance& instance);
bool PortAvailable(const Instance& instance, std::uint32_t portNumber);

}  // namespace kivo
