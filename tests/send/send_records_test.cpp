// The send records at their stored offsets, and the contents before any
// send-telegram file was read.
#include "send/send_records.h"

#include <gtest/gtest.h>

#include <bit>

#include "record/type_catalogue.h"
#include "send/data_values.h"
#include "text/text_table.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

using testing::EncodeRecord;
using testing::PutLe;
using Image = std::vector<std::uint8_t>;

TEST(SendRecords, TelegramFieldsLieAtTheirOffsets) {
  SendTelegram t{};
  t.reserved0 = 0x01020304, t.focusIndex = 5, t.trigger = 1, t.triggerType = 0x1234;
  t.triggerMinute = 59, t.repeatCount = 100000, t.portCode = 4, t.rowsPerStart = 7;
  t.sentCount = 8, t.pauseMs = 1000000, t.dueTick = 0xDEADBEEF, t.sendState = 3, t.service = 2;
  t.date = 46027.0, t.time = 0.5, t.value = 0xCAFEBABE, t.value2 = 0x11223344, t.rowActive = 1;
  t.unused73 = {0xA1, 0xA2, 0xA3}, t.typeId = 20, t.cot = 21, t.fun = 128, t.inf = 16;
  t.data2 = 255, t.data3 = 65535, t.data4 = 0x10000, t.milliseconds = 999, t.notifyWindow = 9;
  t.reserved100 = 10, t.addressIndex = 3, t.linkAddress = 254, t.vsq = 0x81;
  t.commonAddress = 17, t.replyInfo = 9, t.replyKind = 4, t.unused113 = {0xB1, 0xB2, 0xB3};
  t.secondaryService = -1, t.rowPause = 10000, t.withWeekday = t.iv = t.su = 1;
  t.unused120.fill(0xC0), t.unused162.fill(0xD0);
  t.name.Set("General command");
  t.rawLength = 264;
  for (std::size_t i = 0; i < t.raw.size(); ++i) t.raw[i] = static_cast<std::uint8_t>(i);

  Image golden(SendTelegram::kSize, 0);
  const std::pair<std::size_t, std::uint32_t> words[] = {
      {0, 0x01020304},  {4, 5},        {8, 1},           {16, 100000},  {20, 4},   {24, 7},
      {28, 8},          {32, 1000000}, {36, 0xDEADBEEF}, {40, 3},       {44, 2},   {64, 0xCAFEBABE},
      {68, 0x11223344}, {80, 255},     {84, 65535},      {88, 0x10000}, {92, 999}, {96, 9},
      {100, 10},        {104, 3},      {294, 264}};
  for (auto [at, v] : words) PutLe(golden, at, v);
  PutLe(golden, 12, 0x1234, 2), PutLe(golden, 14, 59, 2);
  PutLe(golden, 116, 0xFFFF, 2), PutLe(golden, 118, 10000, 2);
  testing::PutDouble(golden, 48, 46027.0), testing::PutDouble(golden, 56, 0.5);
  const std::pair<std::size_t, Image> octets[] = {{72, {1, 0xA1, 0xA2, 0xA3, 20, 21, 128, 16}},
                                                  {108, {254, 0x81, 17, 9, 4, 0xB1, 0xB2, 0xB3}},
                                                  {131, {1, 1, 1, 15}}};
  for (const auto& [at, bytes] : octets) std::copy(bytes.begin(), bytes.end(), golden.begin() + at);
  std::memcpy(&golden[135], "General command", 15);
  std::fill(golden.begin() + 120, golden.begin() + 131, 0xC0);
  std::fill(golden.begin() + 162, golden.begin() + 294, 0xD0);
  for (std::size_t i = 0; i < 264; ++i) golden[298 + i] = static_cast<std::uint8_t>(i);

  EXPECT_EQ(EncodeRecord(t), golden);
  EXPECT_EQ(SendTelegram::Decode(golden), t);
  // The overlays: identification at 426, measured values at 442.
  EXPECT_EQ(t.raw[SendTelegram::kIdentificationAt], golden[426]);
  EXPECT_EQ(t.MeasuredValue(1), golden[442] | (golden[443] << 8));
  EXPECT_EQ(t.MeasuredValue(15), golden[470] | (golden[471] << 8));
}

TEST(SendRecords, ListAndSimulationFieldsLieAtTheirOffsets) {
  SendList list{};
  list.editorRow = 399, list.editorCol = 8, list.activeRows = 3, list.lastActiveRow = 9;
  list.currentRow = 5, list.rowsThisPass = 1, list.reserved186 = 1, list.reserved190 = 2;
  list.Row(1) = SendListRow{0x01020304, 0x0506, 1, {7, 8, 9}, 3, 2, 128, 144};
  list.Row(400) = SendListRow{1, 2, 1, {}, 24, 31, 255, 1};
  const Image bytes = EncodeRecord(list);
  EXPECT_EQ(Image(bytes.begin() + 162, bytes.begin() + 194),
            Image({143, 1, 0, 0, 8, 0, 0, 0, 3, 0, 0, 0, 9, 0, 0, 0,
                   5,   0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
  const Image row1(bytes.begin() + 194, bytes.begin() + 210);
  EXPECT_EQ(row1, Image({4, 3, 2, 1, 6, 5, 0, 0, 1, 7, 8, 9, 3, 2, 128, 144}));
  EXPECT_EQ(Image(bytes.end() - 16, bytes.end()),
            Image({1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 24, 31, 255, 1}));
  // The current row of a list lies on the telegram fields 64 to 79.
  list.SetCurrentRowCopy(list.Row(1));
  const Image withCurrent = EncodeRecord(list);
  EXPECT_EQ(Image(withCurrent.begin() + 64, withCurrent.begin() + 80), row1);

  ResponseSimRow row;
  row.commandLength = 16, row.commandStatus = 40, row.commandPort = 2;
  row.commandFrame[0] = 0x68, row.commandFrame[31] = 0x16, row.commandAddress = 0x0102;
  row.commandInf = 16, row.positiveAck = row.negativeAck = row.ackPending = 1;
  row.responsePending = 1, row.responseState = 5, row.responseInf = -1, row.unused46 = 0x0807;
  Image sim(48, 0);
  sim[0] = 16, sim[2] = 40, sim[3] = 2, sim[4] = 0x68, sim[35] = 0x16;
  const Image tail{2, 1, 16, 1, 1, 1, 1, 5, 0xFF, 0xFF, 7, 8};
  std::copy(tail.begin(), tail.end(), sim.begin() + 36);
  EXPECT_EQ(EncodeRecord(row), sim);
}

TEST(SendRecords, InitialContentsAreTheExampleTelegramsAndListsLikeTelegramOne) {
  TextTable texts;
  ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok());
  SendData data;
  data.simulation.simulationOn = 1;
  InitialiseSendData(data, texts);
  // Type, cause, FUN, INF and value of telegrams 1 to 12, named after their
  // type; the value as the editor shows it in the type's value kind (the
  // value of type 4 is a float).
  const int examples[12][4] = {{1, 1, 128, 16},   {2, 1, 128, 64},  {3, 2, 128, 144},
                               {4, 1, 128, 73},   {5, 3, 128, 4},   {6, 8, 255, 0},
                               {7, 9, 255, 0},    {9, 2, 128, 148}, {10, 1, 254, 240},
                               {20, 20, 128, 16}, {23, 31, 128, 0}, {24, 31, 128, 0}};
  const std::uint32_t values[12] = {2, 2, 4, std::bit_cast<std::uint32_t>(250.0f), 2, 0, 33, 9, 0,
                                    1, 1, 1};
  const KnownTypeList known;
  std::string shown;
  for (int n = 1; n <= 12; ++n) {
    const int* e = examples[n - 1];
    SendTelegram t{};
    t.typeId = e[0], t.cot = e[1], t.fun = e[2], t.inf = e[3], t.value = values[n - 1];
    t.name.Set(texts.Text(70 + e[0]));
    EXPECT_EQ(data.Telegram(n), t) << n;
    shown += FormatDataValue(texts, known.IndexOf(e[0]), data.Telegram(n).value) + ";";
  }
  EXPECT_EQ(shown, "2;2;4;250;$2;;33;9;;1;;1;");
  const Image telegram1 = EncodeRecord(data.Telegram(1));
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(data.List(n).name.Get(), texts.Text(1187) + std::to_string(n));
    // Offsets 4 to 133 are telegram 1's, the name is the list's own.
    const Image header = EncodeRecord(data.List(n));
    EXPECT_TRUE(std::equal(telegram1.begin() + 4, telegram1.begin() + 134, header.begin() + 4));
  }
  EXPECT_EQ(data.simulation, ResponseSimBlock{});
}

}  // namespace
}  // namespace kivo
