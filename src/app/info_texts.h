// The information text file of an Instance: which file is current, loading
// it at start-up and on the operator's request.
#pragma once

#include <string>

namespace kivo {

class Instance;

// Text numbers around the information text file.
namespace infotextapp {
inline constexpr int kStatusPrefix = 1192;  // status bar panel 5, before the file name
}  // namespace infotextapp

// Loads `path` into the Instance's tables (faulty lines are reported through
// the prompter). On success the file becomes the current information text
// file of the settings; on failure the tables and the name stay.
bool LoadInfoTexts(Instance& instance, const std::string& path);

// The start-up load: the file named in the settings, else the default name in
// the data directory (text 1071). A failed load clears the stored name. The
// group names fall back to the defaults when no file gave any.
bool LoadStartupInfoTexts(Instance& instance);

// Status bar panel 5 after a load: text 1192 and the file name without its
// directory.
std::string InfoTextStatus(const Instance& instance);

}  // namespace kivo
