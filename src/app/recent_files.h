// The recent-files list of the File menu: the names of the logs, send-telegram
// files and information text files the operator opened or saved last, newest
// first, kept in the settings record.
#pragma once

#include <string>
#include <vector>

namespace kivo {

class Instance;

// Entries the menu shows; the settings record keeps a few more.
inline constexpr int kRecentFilesShown = 6;
inline constexpr int kTextRecentFileGone = 1436;

enum class RecentFileKind { Log, SendTelegramFile, InfoTextFile };

// The stored names, newest first.
std::vector<std::string> RecentFiles(const Instance& instance);
// The names the menu shows, newest first.
std::vector<std::string> ShownRecentFiles(const Instance& instance);

// Puts `name` in front of the list; an entry naming the same file (however it
// is spelt) moves there instead of appearing twice, and the oldest entry
// drops out of a full list. A name too long for the record is not kept.
void AddRecentFile(Instance& instance, const std::string& name);
void RemoveRecentFile(Instance& instance, const std::string& name);

// The kind of file by its extension: text 1223 a send-telegram file, text
// 1070 an information text file; anything else is taken as a log (which
// refuses a file that is none).
RecentFileKind RecentFileKindOf(const Instance& instance, const std::string& name);

// Opens a recent file as the command of its kind would: the log as the
// current log, the send-telegram file with its guarded change, the
// information texts by loading them. A file that no longer exists is reported
// (text 1436) and removed from the list. Returns whether the file was opened;
// it then stands in front of the list.
bool OpenRecentFile(Instance& instance, const std::string& name);

}  // namespace kivo
