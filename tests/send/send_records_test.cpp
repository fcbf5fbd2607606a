// The send records at their stored offsets, and the contents before any
// send-telegram file was read.
#include "send/send_records.h"

#include <gtest/gtest.h>

#include "text/text_table.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

using testing::EncodeRecord;
using testing::PutDouble;
using testing::PutLe;

TEST(SendRecords, TelegramFieldsLieAtTheirOffsets) {
  SendTelegram t{};
  t.reserved0 = 0x01020304;
  t.focusIndex = 5;
  t.trigger = 1;
  t.triggerType = 0x1234;
  t.triggerMinute = 59;
  t.repeatCount = 100000;
  t.portCode = 4;
  t.rowsPerStart = 7;
  t.sentCount = 8;
  t.pauseMs = 1000000;
  t.dueTick = 0xDEADBEEF;
  t.sendState = 3;
  t.service = 2;
  t.date = 46027.0;
  t.time = 0.5;
  t.value = 0xCAFEBABE;
  t.value2 = 0x11223344;
  t.rowActive = 1;
  t.unused73 = {0xA1, 0xA2, 0xA3};
  t.typeId = 20;
  t.cot = 21;
  t.fun = 128;
  t.inf = 16;
  t.data2 = 255;
  t.data3 = 65535;
  t.data4 = 0x10000;
  t.milliseconds = 999;
  t.notifyWindow = 9;
  t.reserved100 = 10;
  t.addressIndex = 3;
  t.linkAddress = 254;
  t.vsq = 0x81;
  t.commonAddress = 17;
  t.replyInfo = 9;
  t.replyKind = 4;
  t.unused113 = {0xB1, 0xB2, 0xB3};
  t.secondaryService = -1;
  t.rowPause = 10000;
  t.unused120.fill(0xC0);
  t.withWeekday = 1;
  t.iv = 1;
  t.su = 1;
  t.name.Set("General command");
  t.unused162.fill(0xD0);
  t.rawLength = 264;
  for (std::size_t i = 0; i < t.raw.size(); ++i) t.raw[i] = static_cast<std::uint8_t>(i);

  std::vector<std::uint8_t> golden(SendTelegram::kSize, 0);
  PutLe(golden, 0, 0x01020304);
  PutLe(golden, 4, 5);
  PutLe(golden, 8, 1);
  PutLe(golden, 12, 0x1234, 2);
  PutLe(golden, 14, 59, 2);
  PutLe(golden, 16, 100000);
  PutLe(golden, 20, 4);
  PutLe(golden, 24, 7);
  PutLe(golden, 28, 8);
  PutLe(golden, 32, 1000000);
  PutLe(golden, 36, 0xDEADBEEF);
  PutLe(golden, 40, 3);
  PutLe(golden, 44, 2);
  PutDouble(golden, 48, 46027.0);
  PutDouble(golden, 56, 0.5);
  PutLe(golden, 64, 0xCAFEBABE);
  PutLe(golden, 68, 0x11223344);
  golden[72] = 1;
  golden[73] = 0xA1, golden[74] = 0xA2, golden[75] = 0xA3;
  golden[76] = 20, golden[77] = 21, golden[78] = 128, golden[79] = 16;
  PutLe(golden, 80, 255);
  PutLe(golden, 84, 65535);
  PutLe(golden, 88, 0x10000);
  PutLe(golden, 92, 999);
  PutLe(golden, 96, 9);
  PutLe(golden, 100, 10);
  PutLe(golden, 104, 3);
  golden[108] = 254, golden[109] = 0x81, golden[110] = 17, golden[111] = 9, golden[112] = 4;
  golden[113] = 0xB1, golden[114] = 0xB2, golden[115] = 0xB3;
  PutLe(golden, 116, 0xFFFF, 2);
  PutLe(golden, 118, 10000, 2);
  std::fill(golden.begin() + 120, golden.begin() + 131, 0xC0);
  golden[131] = 1, golden[132] = 1, golden[133] = 1;
  golden[134] = 15;
  std::memcpy(&golden[135], "General command", 15);
  std::fill(golden.begin() + 162, golden.begin() + 294, 0xD0);
  PutLe(golden, 294, 264);
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
  list.editorRow = 399;
  list.editorCol = 8;
  list.activeRows = 3;
  list.lastActiveRow = 9;
  list.currentRow = 5;
  list.rowsThisPass = 1;
  list.reserved186 = 1;
  list.reserved190 = 2;
  list.Row(1) = SendListRow{0x01020304, 0x0506, 1, {7, 8, 9}, 3, 2, 128, 144};
  list.Row(400) = SendListRow{1, 2, 1, {}, 24, 31, 255, 1};
  const auto bytes = EncodeRecord(list);
  ASSERT_EQ(bytes.size(), 6594u);
  const auto u32 = [&](std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24;
  };
  EXPECT_EQ(u32(162), 399);
  EXPECT_EQ(u32(166), 8);
  EXPECT_EQ(u32(170), 3);
  EXPECT_EQ(u32(174), 9);
  EXPECT_EQ(u32(178), 5);
  EXPECT_EQ(u32(182), 1);
  EXPECT_EQ(u32(186), 1);
  EXPECT_EQ(u32(190), 2);
  const std::vector<std::uint8_t> row1(bytes.begin() + 194, bytes.begin() + 210);
  EXPECT_EQ(row1, (std::vector<std::uint8_t>{4, 3, 2, 1, 6, 5, 0, 0, 1, 7, 8, 9, 3, 2, 128, 144}));
  const std::vector<std::uint8_t> row400(bytes.end() - 16, bytes.end());
  EXPECT_EQ(row400,
            (std::vector<std::uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 24, 31, 255, 1}));

  // The current row of a list lies on the telegram fields 64 to 79.
  list.SetCurrentRowCopy(list.Row(1));
  const auto withCurrent = EncodeRecord(list);
  EXPECT_TRUE(std::equal(row1.begin(), row1.end(), withCurrent.begin() + 64));

  ResponseSimRow row;
  row.commandLength = 16;
  row.commandStatus = 40;
  row.commandFrame[0] = 0x68;
  row.commandFrame[31] = 0x16;
  row.commandAddress = 0x0102;
  row.commandInf = 16;
  row.positiveAck = 1;
  row.negativeAck = 1;
  row.ackPending = 1;
  row.responsePending = 1;
  row.responseState = 5;
  row.responseInf = -1;
  const auto sim = EncodeRecord(row);
  EXPECT_EQ(sim, (std::vector<std::uint8_t>{16, 0, 40, 0, 0x68, 0, 0, 0, 0,    0,    0, 0,
                                            0,  0, 0,  0, 0,    0, 0, 0, 0,    0,    0, 0,
                                            0,  0, 0,  0, 0,    0, 0, 0, 0,    0,    0, 0x16,
                                            2,  1, 16, 1, 1,    1, 1, 5, 0xFF, 0xFF, 0, 0}));
}

TEST(SendRecords, BlocksKeepEveryOctet) {
  testing::ExpectRoundTripOfRandomBytes<SendTelegram>();
  testing::ExpectRoundTripOfRandomBytes<SendList>();
  testing::ExpectRoundTripOfRandomBytes<ResponseSimRow>();
  testing::ExpectRoundTripOfRandomBytes<SendTelegramBlock>();
  testing::ExpectRoundTripOfRandomBytes<SendListBlock>();
  testing::ExpectRoundTripOfRandomBytes<ResponseSimBlock>();
  EXPECT_EQ(SendTelegramBlock::kSize, 6748u);
  EXPECT_EQ(SendListBlock::kSize, 79132u);
  EXPECT_EQ(ResponseSimBlock::kSize, 4820u);
}

TEST(SendRecords, InitialContents) {
  TextTable texts;
  ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok());
  SendData data;
  InitialiseSendData(data, texts);

  const int expected[12][5] = {{1, 1, 128, 16, 2},   {2, 1, 128, 64, 2},  {3, 2, 128, 144, 4},
                               {4, 1, 128, 73, 250}, {5, 3, 128, 4, 2},   {6, 8, 255, 0, 0},
                               {7, 9, 255, 0, 33},   {9, 2, 128, 148, 9}, {10, 1, 254, 240, 0},
                               {20, 20, 128, 16, 1}, {23, 31, 128, 0, 1}, {24, 31, 128, 0, 1}};
  for (int n = 1; n <= 12; ++n) {
    const SendTelegram& t = data.Telegram(n);
    const int* e = expected[n - 1];
    EXPECT_EQ(t.typeId, e[0]) << n;
    EXPECT_EQ(t.cot, e[1]) << n;
    EXPECT_EQ(t.fun, e[2]) << n;
    EXPECT_EQ(t.inf, e[3]) << n;
    EXPECT_EQ(t.value, static_cast<std::uint32_t>(e[4])) << n;
    EXPECT_EQ(t.name.Get(), texts.Text(70 + e[0])) << n;
    EXPECT_EQ(t.trigger, 0u);
    EXPECT_EQ(t.repeatCount, 1u);
    EXPECT_EQ(t.portCode, 2u);
    EXPECT_EQ(t.linkAddress, 1);
    EXPECT_EQ(t.vsq, 0x81);
    EXPECT_EQ(t.rawLength, 0u);
  }
  const auto telegram1 = EncodeRecord(data.Telegram(1));
  for (int n = 1; n <= 12; ++n) {
    const SendList& list = data.List(n);
    EXPECT_EQ(list.name.Get(), texts.Text(1187) + std::to_string(n));
    auto header = EncodeRecord(list);
    // Offsets 4 to 133 are telegram 1's, the name is the list's own.
    EXPECT_TRUE(std::equal(telegram1.begin() + 4, telegram1.begin() + 134, header.begin() + 4))
        << n;
    EXPECT_EQ(list.reserved186, 1u);
    EXPECT_EQ(list.reserved190, 0u);
    for (const SendListRow& row : list.rows)
      EXPECT_EQ(row, (SendListRow{1, 0, 0, {}, 1, 1, 128, 0}));
  }
  EXPECT_EQ(data.simulation.simulationOn, 0u);
  for (const ResponseSimRow& row : data.simulation.rows) {
    EXPECT_EQ(row.responseState, 4);
    EXPECT_EQ(row.responseInf, -1);
    EXPECT_EQ(row.commandInf, 0);
  }
}

}  // namespace
}  // namespace kivo
