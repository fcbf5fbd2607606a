#include "app/send_file_commands.h"

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "link/port_control.h"
#include "log/log_filter.h"
#include "send/send_execution.h"
#include "send/send_file.h"
#include "send/send_list.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr std::uint8_t kAllAddresses = 255;

// Text n followed by the file name. The texts end with their own blank; one
// that carries a placeholder gets the name there instead.
void ShowWithName(Instance& instance, int textNumber, const std::string& name) {
  const std::string text = instance.texts.Text(textNumber);
  const bool endsWithBlank = !text.empty() && text.back() == ' ';
  const std::string message = endsWithBlank && text.find('%') == std::string::npos
                                  ? text + name
                                  : FormatText(instance, textNumber, name);
  instance.platform.prompter.Show(message, MessageType::Error, MessageButtons::Ok);
}

// Nothing of the old data may go on being sent, and everything that depends on
// the parameters starts afresh, as after new general parameters.
void ResetAfterRead(Instance& instance) {
  StopSending(instance.sendContext, kAllAddresses);
  for (int n = 1; n <= kSendListCount; ++n) RecountRows(instance.sendContext, n);
  PreparePort(instance.linkContext, 0);
  PreparePort(instance.linkContext, 1);
  Normalise(instance.general.displayFilter);
  Normalise(instance.general.logFilter);
}

bool IsDefaultFile(const Instance& instance, const std::string& name) {
  return name == DataFileName(instance, filetext::kSendBase);
}

}  // namespace

SendFileRecords SendFileRecordsOf(Instance& instance) {
  return SendFileRecords{
      instance.general, instance.ports[0].params,      instance.ports[1].params,
      instance.send,    instance.settings.typeColours, instance.settings.causeColours};
}

bool ReadSendTelegramImage(Instance& instance, ConstBytes image, const std::string& name) {
  if (!TakeSendTelegramImage(SendFileRecordsOf(instance), image)) {
    ShowWithName(instance, kTextSendFileUnreadable, name);
    return false;
  }
  instance.app.sendTelegramFileName = name;
  instance.app.sendDataModified = false;
  ResetAfterRead(instance);
  return true;
}

bool ReadSendTelegramFile(Instance& instance, const std::string& name) {
  const std::int64_t size = FileSize(name);
  if (size < 0 && IsDefaultFile(instance, name)) {
    ResetAfterRead(instance);
    return true;
  }
  // Only the two forms can be right; anything else is refused unread.
  if (size != static_cast<std::int64_t>(kSendFileSize) &&
      size != static_cast<std::int64_t>(kSendFileOldSize)) {
    ShowWithName(instance, kTextSendFileUnreadable, name);
    return false;
  }
  std::vector<std::uint8_t> image(static_cast<std::size_t>(size));
  if (!ReadExactly(name, 0, image)) {
    ShowWithName(instance, kTextSendFileUnreadable, name);
    return false;
  }
  return ReadSendTelegramImage(instance, image, name);
}

bool WriteSendTelegramFile(Instance& instance, const std::string& name) {
  SendData& send = instance.send;
  send.simulation.blockSize = ResponseSimBlock::kSize;
  send.telegrams.blockSize = SendTelegramBlock::kSize;
  send.lists.blockSize = SendListBlock::kSize;
  const std::vector<std::uint8_t> image = BuildSendTelegramImage(SendFileRecordsOf(instance));
  switch (ReplaceFileContent(name, image)) {
    case ReplaceOutcome::Replaced:
      instance.app.sendDataModified = false;
      return true;
    case ReplaceOutcome::NotCreated:
      ShowWithName(instance, kTextSendFileNotCreated, name);
      return false;
    case ReplaceOutcome::NotWritten:
      break;
  }
  return false;
}

bool OpenSendTelegramFile(Instance& instance, const std::string& name) {
  if (instance.Online()) {
    if (!Confirm(instance, text::kGoOfflineFirst)) return false;
    GoOffline(instance);
  }
  if (instance.app.sendDataModified && name != instance.app.sendTelegramFileName) {
    switch (ShowMessage(instance, kTextSaveSendData, MessageType::Confirmation,
                        MessageButtons::YesNoCancel, instance.app.sendTelegramFileName)) {
      case MessageResult::Yes:
        if (!WriteSendTelegramFile(instance, instance.app.sendTelegramFileName)) return false;
        break;
      case MessageResult::No:
        break;
      default:
        return false;
    }
  }
  return ReadSendTelegramFile(instance, name);
}

}  // namespace kivo
