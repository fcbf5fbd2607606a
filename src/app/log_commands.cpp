#include "app/log_commands.h"

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/recent_files.h"
#include "util/block_file.h"
#include "util/file_io.h"

namespace kivo {

namespace {

// While online the operator is asked first; Yes goes offline.
bool OfflineForTheCommand(Instance& instance) {
  if (!instance.Online()) return true;
  if (!Confirm(instance, text::kGoOfflineFirst)) return false;
  GoOffline(instance);
  return true;
}

// Another program's log store holds the writer's lock of the file.
bool WrittenByAnotherProgram(const std::string& name) {
  BlockFile probe;
  return probe.Open(name, BlockFile::Access::ReadOnly) && !probe.TryLockExclusive();
}

}  // namespace

bool OpenChosenLog(Instance& instance, const std::string& name) {
  if (!OfflineForTheCommand(instance)) return false;
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
  AddRecentFile(instance, name);
  instance.Events().ShowLogDisplay();
  return true;
}

bool SaveChosenLogAs(Instance& instance, const std::string& name) {
  if (!OfflineForTheCommand(instance)) return false;
  LogStore& log = instance.logStore;
  const std::string current = log.FileName();
  // The copy replaces the target by renaming: a file another program is
  // writing would lose its name under that program.
  const bool toItself = SameFile(name, current);
  if (!toItself && WrittenByAnotherProgram(name)) {
    ShowMessage(instance, kTextFileInUse, MessageType::Error, MessageButtons::Ok, name);
    return false;
  }
  log.CloseLog();
  const bool saved = toItself || log.SaveLogAs(name);
  if (!saved) ShowMessage(instance, kTextLogNotSaved, MessageType::Error, MessageButtons::Ok, name);
  log.OpenLog(current, false, LogOpenMode::ReplaceUnusable);
  log.OpenReader();
  if (saved) AddRecentFile(instance, name);
  instance.Events().ShowLogDisplay();
  return saved;
}

bool DeleteCurrentLog(Instance& instance) {
  LogStore& log = instance.logStore;
  if (!Confirm(instance, kTextDeleteLog, FileNameOf(log.FileName()))) return false;
  if (log.IsReadOnly()) {
    // Another program writes this log; clearing it is that program's business.
    ShowMessage(instance, kTextFileInUse, MessageType::Error, MessageButtons::Ok, log.FileName());
    return false;
  }
  const bool cleared = log.ClearLog();
  if (instance.Online()) {
    instance.Events().ShowOnlineDisplay();
  } else {
    instance.Events().ShowLogDisplay();
  }
  return cleared;
}

}  // namespace kivo
