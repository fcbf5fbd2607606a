#include "app/shutdown.h"

#include "app/data_directory.h"
#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/send_file_commands.h"
#include "link/port_control.h"

namespace kivo {

bool CloseQuery(Instance& instance) {
  if (!instance.app.sendDataModified) return true;
  switch (ShowMessage(instance, kTextSaveSendData, MessageType::Confirmation,
                      MessageButtons::YesNoCancel, instance.app.sendTelegramFileName)) {
    case MessageResult::Cancel:
      return false;
    case MessageResult::No:
      instance.app.sendDataModified = false;
      return true;
    default:
      return true;
  }
}

void FinishRun(Instance& instance) {
  ClosePort(instance.linkContext, 0);
  ClosePort(instance.linkContext, 1);
  instance.logStore.CloseLog();
  // Still set when the operator chose to keep the changes.
  if (instance.app.sendDataModified) {
    WriteSendTelegramFile(instance, instance.app.sendTelegramFileName);
  }
  SaveSettings(instance);
}

}  // namespace kivo
