// The single-telegram file reader and the octet memo over arbitrary text:
// whatever is taken must stay within the record's limits, must leave the
// fields that the file does not hold alone, and must survive a write and a
// second read unchanged.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "send/send_records.h"
#include "send/send_text_files.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The fields outside the file, cleared so that two telegrams can be compared
// on the file's fields alone.
kivo::SendTelegram OutsideTheFile(const kivo::SendTelegram& t) {
  kivo::SendTelegram outside;
  outside.triggerMinute = t.triggerMinute;
  outside.sentCount = t.sentCount;
  outside.dueTick = t.dueTick;
  outside.sendState = t.sendState;
  outside.date = t.date;
  outside.time = t.time;
  outside.focusIndex = t.focusIndex;
  outside.addressIndex = t.addressIndex;
  outside.withWeekday = t.withWeekday;
  outside.vsq = t.vsq;
  outside.replyInfo = t.replyInfo;
  outside.replyKind = t.replyKind;
  return outside;
}

void MemoRoundTrip(kivo::SendTelegram t, std::uint8_t typeId, std::string_view text) {
  t.typeId = typeId;
  const kivo::SendTelegram before = t;
  kivo::ApplyOctetMemo(t, text);
  std::span<const std::uint8_t> octets;
  switch (typeId) {
    case 5:
      Check(t.rawLength <= kivo::SendTelegram::kIdentificationLength);
      octets = std::span(t.raw).subspan(kivo::SendTelegram::kIdentificationAt, t.rawLength);
      break;
    case 10:
    case 128:
      Check(t.rawLength <= kivo::SendTelegram::kRawCapacity);
      octets = std::span(t.raw).first(t.rawLength);
      break;
    default:
      Check(t == before);
      return;
  }
  // What the memo shows reads back as the same octets.
  std::array<std::uint8_t, kivo::SendTelegram::kRawCapacity> again{};
  const std::size_t count = kivo::ReadOctetMemo(kivo::FormatOctetMemo(octets), again);
  Check(count == octets.size() && std::equal(octets.begin(), octets.end(), again.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kivo::SendTelegram t;
  t.triggerMinute = 7;
  t.sendState = kivo::kSendDue;
  const kivo::SendTelegram before = t;
  kivo::ReadTelegramText(text, ';', t);
  Check(OutsideTheFile(t) == OutsideTheFile(before));
  Check(t.rawLength <= kivo::SendTelegram::kRawCapacity);
  Check(t.name.Get().size() <= 27);

  kivo::SendTelegram copy = before;
  Check(kivo::ReadTelegramText(kivo::WriteTelegramText(t, ';'), ';', copy));
  // The file holds rawLength up to 263 and the octets but the last.
  kivo::SendTelegram expected = t;
  expected.rawLength =
      std::min<std::uint32_t>(expected.rawLength, kivo::SendTelegram::kRawCapacity - 1);
  expected.raw.back() = before.raw.back();
  Check(copy == expected);

  // Any separator at all, the input's first character among them.
  if (size > 0) {
    kivo::SendTelegram other;
    kivo::ReadTelegramText(text.substr(1), static_cast<char>(data[0]), other);
    Check(other.rawLength <= kivo::SendTelegram::kRawCapacity);
  }

  for (std::uint8_t typeId : {1, 5, 10, 128}) MemoRoundTrip(t, typeId, text);
  return 0;
}
