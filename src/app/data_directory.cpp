#include "app/data_directory.h"

#include <algorithm>
#include <cctype>

#include "app/instance.h"
#include "app/messages.h"
#include "util/file_io.h"

namespace kivo {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

bool InsideProgramFiles(Instance& instance, const std::string& directory) {
  for (const std::string& folder : instance.platform.folders.ProgramFilesFolders()) {
    if (StartsWithNoCase(directory, WithTrailingSlash(folder))) return true;
  }
  return false;
}

void SetDefaultFileNames(Instance& instance) {
  instance.app.logFileName = LogFileName(instance, instance.dataDirectory);
  instance.app.sendTelegramFileName = DataFileName(instance, filetext::kSendBase);
}

}  // namespace

std::string SettingsFileName(const Instance& instance) {
  return DataFileName(instance, filetext::kSettingsBase);
}

bool ResolveDataDirectory(Instance& instance) {
  std::string stored = instance.platform.registry
                           .ReadString(kRegistryKey, kRegistryDataDirectory)
                           .value_or(std::string());
  if (!stored.empty() && DirectoryExists(stored)) {
    instance.dataDirectory = WithTrailingSlash(stored);
    bool loaded = LoadSettings(SettingsFileName(instance), instance.settings);
    SetDefaultFileNames(instance);
    return loaded;
  }

  instance.dataDirectory = instance.programDirectory;
  if (LoadSettings(SettingsFileName(instance), instance.settings)) {
    std::string former = DirectoryOf(instance.settings.formerDataDirectory.Get());
    if (!former.empty() && DirectoryExists(former) && !InsideProgramFiles(instance, former)) {
      instance.dataDirectory = WithTrailingSlash(former);
    }
    SetDefaultFileNames(instance);
    return true;
  }

  SetDefaultFileNames(instance);
  const std::string oldLog = instance.app.logFileName;
  const std::string oldSend = instance.app.sendTelegramFileName;
  std::string appData = WithTrailingSlash(instance.platform.folders.AppDataFolder());
  std::string target = appData + kAppDataSubfolder;
  if (appData != "/" && CreateDirectories(target)) {
    instance.dataDirectory = target;
    SetDefaultFileNames(instance);
    CopyWholeFile(oldLog, instance.app.logFileName);
    CopyWholeFile(oldSend, instance.app.sendTelegramFileName);
  }
  return false;
}

bool SaveSettings(Instance& instance) {
  instance.platform.registry.WriteString(kRegistryKey, kRegistryDataDirectory,
                                         instance.dataDirectory);
  Settings& s = instance.settings;
  s.sendTelegramFile.Set(instance.app.sendTelegramFileName);
  s.formerDataDirectory.Set("");
  s.size = Settings::kSize;
  s.version = Settings::kVersion;
  return WriteSettingsFile(SettingsFileName(instance), s);
}

}  // namespace kivo
