// The frame validator and the encoders over arbitrary frames and port states.
// The first octets of the input set up the port (function, address list,
// reset and FCB state, cbVwE5, link-test flags, receive conditions); the rest
// is a run of length-prefixed frames validated one after the other on that
// port, then one fixed and one variable frame are built and validated back.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "app/frame_rules.h"
#include "link/frame_codec.h"
#include "link/frame_rules.h"
#include "link/port_record.h"
#include "record/colour_records.h"
#include "record/general_params.h"
#include "record/log_entry.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace {

using namespace kivo;

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
  std::uint8_t Octet() { return at_ < data_.size() ? data_[at_++] : 0; }
  std::uint32_t U32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Octet();
    return value;
  }
  std::span<const std::uint8_t> Take(std::size_t count) {
    const std::size_t available = data_.size() - at_;
    const std::size_t n = count < available ? count : available;
    const auto part = data_.subspan(at_, n);
    at_ += n;
    return part;
  }
  bool Empty() const { return at_ >= data_.size(); }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
};

struct Rules {
  TextTable texts;
  KnownTypeList knownTypes;
  TValueColours plainCauses;
  TValueColours colouredCauses;
  Rules() {
    const std::string langDir =
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "lang").string() + "/";
    if (!LoadTexts(texts, langDir, 1).ok()) std::abort();
    for (auto& pair : colouredCauses.pairs) pair = ColourPair(3, 15);
  }
};

void SetUpPort(Reader& in, PortRecord& port, ReceiveConditions& conditions) {
  const std::uint8_t mode = in.Octet();
  port.params.function = static_cast<PortFunction>(mode & 0x03);
  port.params.singleCharacter = (mode >> 2) & 0x03;
  port.params.resetKind = (mode >> 4) & 0x01;
  conditions.lineError = (mode & 0x20) != 0;
  conditions.octetsPending = (mode & 0x40) != 0;
  conditions.transmitting = (mode & 0x80) != 0;
  const std::uint8_t flags = in.Octet();
  const std::uint8_t moreFlags = in.Octet();
  for (int i = 0; i < 8; ++i) port.linkTest.Set(i, ((flags >> i) & 1) != 0);
  for (int i = 0; i < 4; ++i) port.linkTest.Set(8 + i, ((moreFlags >> i) & 1) != 0);
  conditions.requestPending = (moreFlags & 0x10) != 0;
  port.acd = (moreFlags & 0x20) != 0;
  port.portFcb = (moreFlags & 0x40) != 0;
  // A damaged parameter block may hold any function number.
  if (moreFlags & 0x80) port.params.function = static_cast<PortFunction>(4 + (mode & 0x03));
  port.currentIndex = static_cast<std::int8_t>(in.Octet());
  port.answeredAddress = in.Octet();
  port.notReset = in.U32();
  port.fcbBits = in.U32();
  port.monitorFcb = in.U32();
  // Any count, also beyond 31: the record must cope with a damaged block.
  port.params.addressCount = in.Octet() & 0x3F;
  const auto addresses = in.Take(port.params.addresses.size());
  std::copy(addresses.begin(), addresses.end(), port.params.addresses.begin());
  const auto monitored = in.Take(in.Octet() % (PortRecord::kMonitorSlots + 1));
  std::copy(monitored.begin(), monitored.end(), port.monitorAddresses.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rules rules;
  Reader in({data, size});
  PortRecord port;
  ReceiveConditions conditions;
  SetUpPort(in, port, conditions);
  const std::uint8_t choices = in.Octet();
  static const FrameRules plainRules =
      FrameRulesFromTexts(rules.texts, rules.knownTypes, rules.plainCauses);
  static const FrameRules colouredRules =
      FrameRulesFromTexts(rules.texts, rules.knownTypes, rules.colouredCauses);
  const FrameRules& frameRules = (choices & 0x01) ? colouredRules : plainRules;

  TLogEntry entry;
  while (!in.Empty()) {
    const std::size_t length = in.Octet() | ((in.Octet() & 0x01) << 8);
    entry.SetFrame(in.Take(length));
    // A damaged count must not lead the validator outside the buffer.
    if (choices & 0x02) entry.byteCount = static_cast<std::uint16_t>(length + 300);
    StationUpdate update;
    ValidateFrame(frameRules, port, entry, conditions, &update);
    TakeStationUpdate(port, update);
    ClassifyFrame(entry);
  }

  OutgoingFrame frame;
  frame.length = EncodeFixed(port, static_cast<FixedRequest>((choices >> 2) % 11), frame.Buffer());
  TLogEntry built;
  built.SetFrame(frame.View());
  ValidateFrame(frameRules, port, built, conditions);

  GeneralParams general;
  general.separateCommonAddress = (choices >> 6) & 1;
  const VariableTelegram telegram{.kind = static_cast<std::uint8_t>(choices >> 6),
                                  .address = static_cast<std::uint8_t>(size),
                                  .typ = static_cast<std::uint8_t>(size >> 1),
                                  .vsq = static_cast<std::uint8_t>(size >> 2),
                                  .cot = choices,
                                  .commonAddress = 1,
                                  .tail = std::span<const std::uint8_t>(data, size % 260),
                                  .secondaryUserData = (choices & 0x20) != 0};
  frame.length = EncodeVariable(port, general, telegram, frame.Buffer());
  if (frame.length != 0) {
    built.SetFrame(frame.View());
    ValidateFrame(frameRules, port, built, conditions);
  }
  return 0;
}
