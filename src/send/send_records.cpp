#include "send/send_records.h"

#include <bit>
#include <string>

#include "text/text_table.h"
#include "util/record_io.h"

namespace kivo {

namespace {

constexpr int kTextListName = 1187;

// Telegram n's example contents: type, cause, function type, information
// number and data value. The value is held as the type reads it: type 4
// sends a fault location of 250 as a float.
struct ExampleTelegram {
  std::uint8_t typeId, cot, fun, inf;
  std::uint32_t value;
};
constexpr std::array<ExampleTelegram, kSendTelegramCount> kExamples{{
    {1, 1, 128, 16, 2},
    {2, 1, 128, 64, 2},
    {3, 2, 128, 144, 4},
    {4, 1, 128, 73, std::bit_cast<std::uint32_t>(250.0f)},
    {5, 3, 128, 4, 2},
    {6, 8, 255, 0, 0},
    {7, 9, 255, 0, 33},
    {9, 2, 128, 148, 9},
    {10, 1, 254, 240, 0},
    {20, 20, 128, 16, 1},
    {23, 31, 128, 0, 1},
    {24, 31, 128, 0, 1},
}};

// Copies the shared header part (offsets 0 to 161) between records.
void CopyHeader(const SendHeader& from, SendHeader& to) {
  to = from;
}

}  // namespace

template <typename Io, typename Self>
void SendHeader::Fields(Io& io, Self& r) {
  using O = SendHeader::Offsets;
  io.U32(O::Reserved0, r.reserved0);
  io.U32(O::FocusIndex, r.focusIndex);
  io.U32(O::Trigger, r.trigger);
  io.U16(O::TriggerType, r.triggerType);
  io.U16(O::TriggerMinute, r.triggerMinute);
  io.U32(O::RepeatCount, r.repeatCount);
  io.U32(O::PortCode, r.portCode);
  io.U32(O::RowsPerStart, r.rowsPerStart);
  io.U32(O::SentCount, r.sentCount);
  io.U32(O::PauseMs, r.pauseMs);
  io.U32(O::DueTick, r.dueTick);
  io.U32(O::SendState, r.sendState);
  io.U32(O::Service, r.service);
  io.F64(O::Date, r.date);
  io.F64(O::Time, r.time);
  io.U32(O::Value, r.value);
  io.U32(O::Value2, r.value2);
  io.U8(O::RowActive, r.rowActive);
  io.Raw(O::Unused73, r.unused73);
  io.U8(O::TypeId, r.typeId);
  io.U8(O::Cot, r.cot);
  io.U8(O::Fun, r.fun);
  io.U8(O::Inf, r.inf);
  io.U32(O::Data2, r.data2);
  io.U32(O::Data3, r.data3);
  io.U32(O::Data4, r.data4);
  io.U32(O::Milliseconds, r.milliseconds);
  io.U32(O::NotifyWindow, r.notifyWindow);
  io.U32(O::Reserved100, r.reserved100);
  io.U32(O::AddressIndex, r.addressIndex);
  io.U8(O::LinkAddress, r.linkAddress);
  io.U8(O::Vsq, r.vsq);
  io.U8(O::CommonAddress, r.commonAddress);
  io.U8(O::ReplyInfo, r.replyInfo);
  io.U8(O::ReplyKind, r.replyKind);
  io.Raw(O::Unused113, r.unused113);
  io.I16(O::SecondaryService, r.secondaryService);
  io.U16(O::RowPause, r.rowPause);
  io.Raw(O::Unused120, r.unused120);
  io.U8(O::WithWeekday, r.withWeekday);
  io.U8(O::Iv, r.iv);
  io.U8(O::Su, r.su);
  io.Raw(O::Name, r.name.raw);
}

int SendHeader::PortIndex() const {
  if (portCode == 2) return 0;
  if (portCode == 4) return 1;
  return -1;
}

bool SendHeader::SameContent(const SendHeader& other) const {
  SendHeader a = *this;
  SendHeader b = other;
  a.focusIndex = b.focusIndex = 0;
  a.dueTick = b.dueTick = 0;
  a.sendState = b.sendState = 0;
  // Compared as stored octets, so that a NaN date or time equals itself.
  std::array<std::uint8_t, kSize> x{}, y{};
  EncodeFields(a, x);
  EncodeFields(b, y);
  return x == y;
}

template <typename Io, typename Self>
void SendTelegram::Fields(Io& io, Self& r) {
  SendHeader::Fields(io, r);
  using O = TailOffsets;
  io.Raw(O::Unused162, r.unused162);
  io.U32(O::RawLength, r.rawLength);
  io.Raw(O::Raw, r.raw);
}

std::uint16_t SendTelegram::MeasuredValue(int i) const {
  if (i < 1 || i > static_cast<int>(kMaxMeasuredValues)) return 0;
  return GetU16(ConstBytes(raw), kMeasuredValuesAt + 2 * static_cast<std::size_t>(i - 1));
}

void SendTelegram::SetMeasuredValue(int i, std::uint16_t v) {
  if (i < 1 || i > static_cast<int>(kMaxMeasuredValues)) return;
  PutU16(Bytes(raw), kMeasuredValuesAt + 2 * static_cast<std::size_t>(i - 1), v);
}

ConstBytes SendTelegram::RawOctets() const {
  const std::size_t n = rawLength > kRawCapacity ? kRawCapacity : rawLength;
  return ConstBytes(raw).first(n);
}

bool SendTelegram::SameContent(const SendTelegram& other) const {
  return SendHeader::SameContent(other) && unused162 == other.unused162 &&
         rawLength == other.rawLength && raw == other.raw;
}

void SendTelegram::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
SendTelegram SendTelegram::Decode(ConstBytes in) {
  return DecodeFields<SendTelegram>(in);
}

template <typename Io, typename Self>
void SendTelegramBlock::Fields(Io& io, Self& r) {
  io.U32(0, r.blockSize);
  io.Records(4, r.telegrams);
}

void SendTelegramBlock::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
SendTelegramBlock SendTelegramBlock::Decode(ConstBytes in) {
  return DecodeFields<SendTelegramBlock>(in);
}

template <typename Io, typename Self>
void SendListRow::Fields(Io& io, Self& r) {
  io.U32(0, r.data1);
  io.U32(4, r.data2);
  io.U8(8, r.active);
  io.Raw(9, r.unused9);
  io.U8(12, r.typeId);
  io.U8(13, r.cot);
  io.U8(14, r.fun);
  io.U8(15, r.inf);
}

void SendListRow::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
SendListRow SendListRow::Decode(ConstBytes in) {
  return DecodeFields<SendListRow>(in);
}

template <typename Io, typename Self>
void SendList::Fields(Io& io, Self& r) {
  SendHeader::Fields(io, r);
  using O = ListOffsets;
  io.U32(O::EditorRow, r.editorRow);
  io.U32(O::EditorCol, r.editorCol);
  io.U32(O::ActiveRows, r.activeRows);
  io.U32(O::LastActiveRow, r.lastActiveRow);
  io.U32(O::CurrentRow, r.currentRow);
  io.U32(O::RowsThisPass, r.rowsThisPass);
  io.U32(O::Reserved186, r.reserved186);
  io.U32(O::Reserved190, r.reserved190);
  io.Records(O::Rows, r.rows);
}

SendListRow& SendList::Row(std::uint32_t n) {
  return rows[n >= 1 && n <= kSendListRows ? n - 1 : 0];
}
const SendListRow& SendList::Row(std::uint32_t n) const {
  return rows[n >= 1 && n <= kSendListRows ? n - 1 : 0];
}

SendListRow SendList::CurrentRowCopy() const {
  SendListRow row;
  row.data1 = value;
  row.data2 = value2;
  row.active = rowActive;
  row.unused9 = unused73;
  row.typeId = typeId;
  row.cot = cot;
  row.fun = fun;
  row.inf = inf;
  return row;
}

void SendList::SetCurrentRowCopy(const SendListRow& row) {
  value = row.data1;
  value2 = row.data2;
  rowActive = row.active;
  unused73 = row.unused9;
  typeId = row.typeId;
  cot = row.cot;
  fun = row.fun;
  inf = row.inf;
}

bool SendList::SameContent(const SendList& other) const {
  return SendHeader::SameContent(other) && rows == other.rows;
}

void SendList::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
SendList SendList::Decode(ConstBytes in) {
  return DecodeFields<SendList>(in);
}

template <typename Io, typename Self>
void SendListBlock::Fields(Io& io, Self& r) {
  io.U32(0, r.blockSize);
  io.Records(4, r.lists);
}

void SendListBlock::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
SendListBlock SendListBlock::Decode(ConstBytes in) {
  return DecodeFields<SendListBlock>(in);
}

template <typename Io, typename Self>
void ResponseSimRow::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U16(O::CommandLength, r.commandLength);
  io.U8(O::CommandStatus, r.commandStatus);
  io.U8(O::CommandPort, r.commandPort);
  io.Raw(O::CommandFrame, r.commandFrame);
  io.U16(O::CommandAddress, r.commandAddress);
  io.U8(O::CommandInf, r.commandInf);
  io.U8(O::PositiveAck, r.positiveAck);
  io.U8(O::NegativeAck, r.negativeAck);
  io.U8(O::AckPending, r.ackPending);
  io.U8(O::ResponsePending, r.responsePending);
  io.U8(O::ResponseState, r.responseState);
  io.I16(O::ResponseInf, r.responseInf);
  io.U16(O::Unused46, r.unused46);
}

void ResponseSimRow::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
ResponseSimRow ResponseSimRow::Decode(ConstBytes in) {
  return DecodeFields<ResponseSimRow>(in);
}

template <typename Io, typename Self>
void ResponseSimBlock::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Size, r.blockSize);
  io.U32(O::SimulationOn, r.simulationOn);
  io.U32(O::FocusIndex, r.focusIndex);
  io.U32(O::EditorRow, r.editorRow);
  io.U32(O::EditorCol, r.editorCol);
  io.Records(O::Rows, r.rows);
}

void ResponseSimBlock::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
ResponseSimBlock ResponseSimBlock::Decode(ConstBytes in) {
  return DecodeFields<ResponseSimBlock>(in);
}

void InitialiseSendData(SendData& data, const TextTable& texts) {
  data.telegrams = SendTelegramBlock{};
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    const ExampleTelegram& example = kExamples[static_cast<std::size_t>(n - 1)];
    SendTelegram t{};
    t.typeId = example.typeId;
    t.cot = example.cot;
    t.fun = example.fun;
    t.inf = example.inf;
    t.value = example.value;
    t.name.Set(texts.Text(text::kTypeNames + example.typeId));
    data.Telegram(n) = t;
  }

  data.lists = SendListBlock{};
  for (int n = 1; n <= kSendListCount; ++n) {
    SendList& list = data.List(n);
    list = SendList{};
    CopyHeader(data.Telegram(1), list);
    list.reserved0 = 0;
    list.name.Set(texts.Text(kTextListName) + std::to_string(n));
  }

  data.simulation = ResponseSimBlock{};
}

}  // namespace kivo
