#include "send/send_list.h"

#include "link/link_context.h"
#include "link/port_record.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "send/send_execution.h"
#include "send/send_records.h"
#include "send/send_telegram.h"

namespace kivo {

namespace {

constexpr std::uint8_t kTypeTimeTagged = 1, kTypeRelativeTime = 2, kTypeMeasurandsI = 3,
                       kTypeTimeTaggedMeasurand = 4, kTypeIdentification = 5, kTypeMeasurandsII = 9,
                       kTypeGenericData = 10, kTypeGenericIdentification = 11,
                       kTypeGeneralCommand = 20, kTypeGenericCommand = 21, kTypeOrder = 24;
constexpr char kRowIdentification[] = "Orvanta8 V10";
constexpr std::uint32_t kRowRawLength = 4;
constexpr std::uint8_t kRowVsq = 0x81;

}  // namespace

std::uint32_t FindCurrentRow(SendList& list) {
  const std::uint32_t last =
      list.lastActiveRow > kSendListRows ? kSendListRows : list.lastActiveRow;
  if (last == 0) return 0;
  std::uint32_t row = list.currentRow;
  if (row < 1 || row > last) row = 1;
  for (std::uint32_t tries = 0; tries < last; ++tries) {
    if (list.Row(row).active == 1) {
      list.currentRow = row;
      list.SetCurrentRowCopy(list.Row(row));
      return row;
    }
    row = row >= last ? 1 : row + 1;
  }
  return 0;
}

void AdvanceRow(SendList& list) {
  list.currentRow = list.currentRow >= list.lastActiveRow ? 1 : list.currentRow + 1;
}

void RecountRows(SendContext& send, int n) {
  StopList(send, n);
  SendList& list = send.data.List(n);
  list.activeRows = 0;
  list.lastActiveRow = 0;
  for (std::uint32_t row = 1; row <= kSendListRows; ++row) {
    if (list.Row(row).active != 1) continue;
    ++list.activeRows;
    list.lastActiveRow = row;
  }
}

void CommitSendList(SendContext& send, int n, SendList& workCopy) {
  SendList& list = send.data.List(n);
  if (!list.SameContent(workCopy)) send.sendDataModified = true;
  list = workCopy;
  RecountRows(send, n);
  if (list.trigger == kTriggerHourly || list.trigger == kTriggerEveryMinutes) {
    send.timedSendArmed = true;
  }
  send.events.SendCaptionChanged(kFirstListSlot - 1 + n);
  workCopy.activeRows = list.activeRows;
  workCopy.lastActiveRow = list.lastActiveRow;
}

SendTelegram BuildListRowTelegram(SendContext& send, SendList& list) {
  list.time = 0.0;
  list.su = send.general().summerTime;
  SendTelegram t{};
  static_cast<SendHeader&>(t) = list;
  t.reserved0 = 0;
  t.unused162 = {};
  t.rawLength = 0;
  t.raw = {};
  t.vsq = kRowVsq;
  const std::uint32_t data2 = t.value2;
  switch (t.typeId) {
    case kTypeTimeTagged:
    case kTypeRelativeTime:
    case kTypeGeneralCommand:
      t.data2 = data2;
      break;
    case kTypeMeasurandsI:
    case kTypeMeasurandsII: {
      const std::uint32_t count =
          t.value < SendTelegram::kMaxMeasuredValues ? t.value : SendTelegram::kMaxMeasuredValues;
      for (std::uint32_t i = 1; i <= count; ++i) {
        t.SetMeasuredValue(static_cast<int>(i), static_cast<std::uint16_t>(data2 * 8));
      }
      break;
    }
    case kTypeTimeTaggedMeasurand:
      t.data4 = data2;
      break;
    case kTypeIdentification:
      std::copy_n(kRowIdentification, SendTelegram::kIdentificationLength,
                  t.raw.begin() + SendTelegram::kIdentificationAt);
      break;
    case kTypeGenericData:
    case kTypeGenericIdentification:
    case kTypeGenericCommand:
      t.rawLength = kRowRawLength;
      break;
    case kTypeOrder:
      t.data4 = data2;
      t.data3 = 1;
      break;
    default:
      break;
  }
  return t;
}

}  // namespace kivo
