// Message boxes by text number, and the file names of the data directory.
#pragma once

#include <string>
#include <string_view>

#include "platform/prompter.h"

namespace kivo {

class Instance;

// Text n with its "%s" (or "%d") placeholder replaced by `insert`.
std::string FormatText(const Instance& instance, int textNumber, const std::string& insert);

MessageResult ShowMessage(Instance& instance, int textNumber,
                          MessageType type = MessageType::Information,
                          MessageButtons buttons = MessageButtons::Ok,
                          const std::string& insert = {});
bool Confirm(Instance& instance, int textNumber, const std::string& insert = {});

// "" for instance 1, else the instance number.
std::string InstanceSuffix(int instanceNumber);

// Text numbers of the file names in the data directory (base; extension is +1).
namespace filetext {
inline constexpr int kInfoTextExtension = 1070;
inline constexpr int kInfoTextDefault = 1071;
inline constexpr int kSettingsBase = 1131;
inline constexpr int kLogBase = 1199;
inline constexpr int kLogExtension = 1200;
// Logs written before the log extension became text 1200 end in this; they
// are the same files and are still taken as logs.
inline constexpr std::string_view kEarlierLogExtension = ".kvl";
inline constexpr int kSendBase = 1222;
inline constexpr int kSendExtension = 1223;
}  // namespace filetext

// Data directory + text n + instance suffix + text n + 1.
std::string DataFileName(const Instance& instance, int baseText);
std::string DataFileName(const Instance& instance, const std::string& directory, int baseText);
// The log file name; with the daily log option the day of the month is
// appended to the base name.
std::string LogFileName(const Instance& instance, const std::string& directory);

}  // namespace kivo
