#include "send/send_file.h"

#include <algorithm>

#include "log/log_file.h"

namespace kivo {

namespace {

bool ImageAcceptable(ConstBytes image) {
  if (image.size() != kSendFileSize && image.size() != kSendFileOldSize) return false;
  using O = TLogFileHeader::Offsets;
  return GetU32(image, O::Magic) == kLogMagic && GetU32(image, O::HeaderSize) == kLogHeaderSize;
}

// The block of `size` octets at `at` when its leading size word says so.
bool SizeWordRight(ConstBytes image, std::size_t at, std::size_t size) {
  return at + size <= image.size() && GetU32(image, at) == size;
}

}  // namespace

std::vector<std::uint8_t> BuildSendTelegramImage(const SendFileRecords& records) {
  std::vector<std::uint8_t> image(kSendFileSize);
  EncodeSendTelegramImage(records, image);
  return image;
}

void EncodeSendTelegramImage(const SendFileRecords& records, Bytes out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});

  TLogFileHeader header;
  header.usedBytes = kSendFileSize;
  header.headerSize = kLogHeaderSize;
  header.generalSettings = records.general;
  header.port1Settings = records.port1;
  header.port2Settings = records.port2;
  header.Encode(out.subspan(sendfile::kHeaderAt, TLogFileHeader::kSize));

  const SendData& send = records.send;
  send.simulation.Encode(out.subspan(sendfile::kSimulationAt, ResponseSimBlock::kSize));
  PutU32(out, sendfile::kSimulationAt, ResponseSimBlock::kSize);
  send.telegrams.Encode(out.subspan(sendfile::kTelegramsAt, SendTelegramBlock::kSize));
  PutU32(out, sendfile::kTelegramsAt, SendTelegramBlock::kSize);
  send.lists.Encode(out.subspan(sendfile::kListsAt, SendListBlock::kSize));
  PutU32(out, sendfile::kListsAt, SendListBlock::kSize);

  records.typeColours.Encode(out.subspan(sendfile::kTypeColoursAt, TValueColours::kSize));
  records.causeColours.Encode(out.subspan(sendfile::kCauseColoursAt, TValueColours::kSize));
}

bool TakeSendTelegramImage(const SendFileRecords& records, ConstBytes image) {
  if (!ImageAcceptable(image)) return false;

  const TLogFileHeader header =
      TLogFileHeader::Decode(image.subspan(sendfile::kHeaderAt, TLogFileHeader::kSize));
  if (header.generalSettings.size == GeneralParams::kSize) {
    // The log size belongs to the log in use, not to the send data.
    const std::uint32_t logSize = records.general.logSize;
    records.general = header.generalSettings;
    records.general.logSize = logSize;
  }
  if (header.port1Settings.blockSize == PortParams::kSize) {
    records.port1 = header.port1Settings;
  }
  if (header.port2Settings.blockSize == PortParams::kSize) {
    records.port2 = header.port2Settings;
  }

  SendData& send = records.send;
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
      records.typeColours = typeColours;
      const TValueColours causeColours = colours(sendfile::kCauseColoursAt);
      if (causeColours.blockSize == TValueColours::kBlockSize) {
        records.causeColours = causeColours;
      }
    }
  }
  return true;
}

}  // namespace kivo
