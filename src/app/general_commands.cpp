#include "app/general_commands.h"

#include "app/data_directory.h"
#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "link/port_control.h"
#include "log/log_filter.h"
#include "send/send_execution.h"
#include "send/send_list.h"
#include "text/text_numbers.h"
#include "util/file_io.h"

namespace kivo {

namespace {

// The log and the send-telegram file keep their names in the new directory;
// the files are copied, so the old directory loses nothing.
void MoveDataDirectory(Instance& instance, const std::string& directory) {
  AppState& app = instance.app;
  instance.logStore.CloseLog();
  const std::string log = directory + FileNameOf(app.logFileName);
  const std::string send = directory + FileNameOf(app.sendTelegramFileName);
  if (FileExists(app.logFileName)) CopyWholeFile(app.logFileName, log);
  if (FileExists(app.sendTelegramFileName)) CopyWholeFile(app.sendTelegramFileName, send);
  app.logFileName = log;
  app.sendTelegramFileName = send;
  instance.dataDirectory = directory;
  SaveSettings(instance);
  instance.logStore.OpenLog(app.logFileName, false, LogOpenMode::ReplaceUnusable);
}

}  // namespace

bool CheckDataDirectory(Instance& instance, std::string& path) {
  if (path.empty() || path.size() > kMostDataDirectoryLength) return false;
  if (DirectoryExists(path)) {
    path = WithTrailingSlash(path);
    return true;
  }
  if (FileExists(path)) return false;  // a file stands where the directory should
  if (!Confirm(instance, kTextCreateDirectory)) return false;
  if (!CreateDirectories(path) || !DirectoryExists(path)) return false;
  path = WithTrailingSlash(path);
  return true;
}

GeneralOutcome ApplyGeneralParams(Instance& instance, const GeneralParams& edited,
                                  std::string dataDirectory) {
  GeneralParams& general = instance.general;
  general.focusIndex = edited.focusIndex;
  dataDirectory = WithTrailingSlash(dataDirectory);
  const bool directoryChanged = dataDirectory != instance.dataDirectory;
  if (!directoryChanged) {
    if (edited == general) return GeneralOutcome::Unchanged;
    GeneralParams summerOnly = general;
    summerOnly.summerTime = edited.summerTime;
    if (edited == summerOnly) {
      general.summerTime = edited.summerTime;
      instance.app.sendDataModified = true;
      return GeneralOutcome::Stored;
    }
  }
  if (instance.Online()) {
    if (!Confirm(instance, text::kGoOfflineFirst)) return GeneralOutcome::Refused;
    GoOffline(instance);
  }
  const std::uint32_t oldLogSize = general.logSize;
  if (!(edited == general)) instance.app.sendDataModified = true;
  general = edited;
  if (general.logSize != oldLogSize) {
    if (Confirm(instance, kTextLogSizeChanged)) {
      instance.logStore.ClearLog();
    } else {
      general.logSize = oldLogSize;
    }
  }
  StopSending(instance.sendContext, 255);
  PreparePort(instance.linkContext, 0);
  PreparePort(instance.linkContext, 1);
  Normalise(general.displayFilter);
  Normalise(general.logFilter);
  if (directoryChanged) MoveDataDirectory(instance, dataDirectory);
  instance.Events().OnlineStateApplied();
  return GeneralOutcome::Applied;
}

}  // namespace kivo
