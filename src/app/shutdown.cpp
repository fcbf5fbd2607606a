#include "app/shutdown.h"

#include "app/data_directory.h"
#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "link/serial_path.h"

namespace kivo {

namespace {
constexpr int kTextSaveSendData = 1134;
}

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
  ClosePort(instance, 0);
  ClosePort(instance, 1);
  instance.logStore.CloseLog();
  SaveSettings(instance);
}

}  // namespace kivo
