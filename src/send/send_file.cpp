#include "send/send_file.h"

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "link/serial_path.h"
#include "log/log_file.h"
#include "log/log_filter.h"
#include "send/send_execution.h"
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

bool ImageAcceptable(ConstBytes image) {
  if (image.size() != kSendFileSize && image.size() != kSendFileOldSize) return false;
  using O = TLogFileHeader::Offsets;
  return GetU32(image, O::Magic) == kLogMagic && GetU32(image, O::HeaderSize) == kLogHeaderSize;
}

// The block of `size` octets at `at` when its leading size word says so.
bool SizeWordRight(ConstBytes image, std::size_t at, std::size_t size) {
  return at + size <= image.size() && GetU32(image, at) == size;
}

// Nothing of the old data may go on being sent, and everything that depends on
// the parameters starts afresh, as after new general parameters.
void ResetAfterRead(Instance& instance) {
  StopSending(instance, kAllAddresses);
  for (int n = 1; n <= kSendListCount; ++n) RecountRows(instance, n);
  PreparePort(instance, 0);
  PreparePort(instance, 1);
  Normalise(instance.general.displayFilter);
  Normalise(instance.general.logFilter);
}

bool IsDefaultFile(const Instance& instance, const std::string& name) {
  return name == DataFileName(instance, filetext::kSendBase);
}

}  // namespace

std::vector<std::uint8_t> BuildSendTelegramImage(const Instance& instance) {
  std::vector<std::uint8_t> image(kSendFileSize, 0);
  Bytes out(image);

  TLogFileHeader header;
  header.usedBytes = kSendFileSize;
  header.headerSize = kLogHeaderSize;
  header.generalSettings = instance.general;
  header.port1Settings = instance.ports[0].params;
  header.port2Settings = instance.ports[1].params;
  header.Encode(out.subspan(sendfile::kHeaderAt, TLogFileHeader::kSize));

  const SendData& send = instance.send;
  send.simulation.Encode(out.subspan(sendfile::kSimulationAt, ResponseSimBlock::kSize));
  PutU32(out, sendfile::kSimulationAt, ResponseSimBlock::kSize);
  send.telegrams.Encode(out.subspan(sendfile::kTelegramsAt, SendTelegramBlock::kSize));
  PutU32(out, sendfile::kTelegramsAt, SendTelegramBlock::kSize);
  send.lists.Encode(out.subspan(sendfile::kListsAt, SendListBlock::kSize));
  PutU32(out, sendfile::kListsAt, SendListBlock::kSize);

  instance.settings.typeColours.Encode(out.subspan(sendfile::kTypeColoursAt, TValueColours::kSize));
  instance.settings.causeColours.Encode(
      out.subspan(sendfile::kCauseColoursAt, TValueColours::kSize));
  return image;
}

bool TakeSendTelegramImage(Instance& instance, ConstBytes image) {
  if (!ImageAcceptable(image)) return false;

  const TLogFileHeader header =
      TLogFileHeader::Decode(image.subspan(sendfile::kHeaderAt, TLogFileHeader::kSize));
  if (header.generalSettings.size == GeneralParams::kSize) {
    // The log size belongs to the log in use, not to the send data.
    const std::uint32_t logSize = instance.general.logSize;
    instance.general = header.generalSettings;
    instance.general.logSize = logSize;
  }
  if (header.port1Settings.blockSize == PortParams::kSize) {
    instance.ports[0].params = header.port1Settings;
  }
  if (header.port2Settings.blockSize == PortParams::kSize) {
    instance.ports[1].params = header.port2Settings;
  }

  SendData& send = instance.send;
  if (SizeWordRight(image, sendfile::kSimulationAt, ResponseSimBlock::kSize)) {
    send.simulation =
        ResponseSimBlock::Decode(image.subspan(sendfile::kSimulationAt, ResponseSimBlock::kSize));
  }
  if (SizeWordRight(image, sendfile::kTelegramsAt, SendTelegramBlock::kSize)) {
    send.telegrams =
        SendTelegramBlock::Decode(image.subspan(sendfile::kTelegramsAt, SendTelegramBlock::kSize));
  }
  if (SizeWordRight(image, sendfile::kListsAt, SendListBlock::kSize)) {
    send.lists = SendListBlock::Decode(image.subspan(sendfile::kListsAt, SendListBlock::kSize));
  }

  if (image.size() == kSendFileSize) {
    const auto colours = [&](std::size_t at) {
      return TValueColours::Decode(image.subspan(at, TValueColours::kSize));
    };
    const TValueColours typeColours = colours(sendfile::kTypeColoursAt);
    if (typeColours.blockSize == TValueColours::kBlockSize) {
      instance.settings.typeColours = typeColours;
      const TValueColours causeColours = colours(sendfile::kCauseColoursAt);
      if (causeColours.blockSize == TValueColours::kBlockSize) {
        instance.settings.causeColours = causeColours;
      }
    }
  }
  return true;
}

bool ReadSendTelegramImage(Instance& instance, ConstBytes image, const std::string& name) {
  if (!TakeSendTelegramImage(instance, image)) {
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
  const std::vector<std::uint8_t> image = BuildSendTelegramImage(instance);
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
