#include "app/log_commands.h"

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "util/file_io.h"

namespace kivo {

bool OpenChosenLog(Instance& instance, const std::string& name) {
  if (instance.Online()) {
    if (!Confirm(instance, text::kGoOfflineFirst)) return false;
    GoOffline(instance);
  }
  LogStore& log = instance.logStore;
  log.CloseLog();
  log.ResetQueue();
  // A name that names no file yet gets a new log; an existing file that is
  // no log is never overwritten.
  const LogOpenMode mode =
      FileExists(name) ? LogOpenMode::KeepUnusable : LogOpenMode::ReplaceUnusable;
  if (!log.OpenLog(name, false, mode)) {
    ShowMessage(instance, kTextNotALogFile, MessageType::Error, MessageButtons::Ok,
                FileNameOf(name));
    log.OpenLog(instance.app.logFileName, false, LogOpenMode::ReplaceUnusable);
    return false;
  }
  // A log named on the command line no longer holds.
  instance.app.logFileName = name;
  instance.app.fixedLogName = false;
  return true;
}

}  // namespace kivo
