// Where the settings, the log and the send-telegram file live.
#pragma once

#include <string>

namespace kivo {

class Instance;

inline constexpr const char* kRegistryKey = "Software\\Brakel\\DemoKivo";
inline constexpr const char* kRegistryDataDirectory = "DataDirectory";
inline constexpr const char* kAppDataSubfolder = "Brakel/DemoKivo/";

// Resolves the data directory at start-up and loads the settings from it.
// Also sets the default log and send-telegram file names of the application
// state. Returns whether a valid settings file was loaded.
bool ResolveDataDirectory(Instance& instance);

// Stores the data directory in the registry and writes the settings file.
bool SaveSettings(Instance& instance);

// The settings file of this instance in the data directory.
std::string SettingsFileName(const Instance& instance);

}  // namespace kivo
