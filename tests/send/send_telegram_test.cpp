// The frames of operator telegrams, octet for octet, by type.
#include "send/send_telegram.h"

#include <gtest/gtest.h>

#include <cstring>

#include "send/send_fixture.h"
#include "send/send_list.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::RepairChecksum;
using testing::ToHex;

class SendTelegramTest : public ::testing::Test {
 protected:
  testing::SendWorld world;
  PortRecord& port = world.ports[0];
  OutgoingFrame sent;

  // Send/no reply keeps the control octet free of FCB work: 0x44.
  SendTelegram Telegram(std::uint8_t type, std::uint8_t cot, std::uint8_t fun, std::uint8_t inf) {
    SendTelegram t{};
    t.service = 1;
    t.typeId = type;
    t.cot = cot;
    t.fun = fun;
    t.inf = inf;
    t.linkAddress = 1;
    // Monday 2026-01-05, 08:30:15.250.
    t.date = DayNumber(2026, 1, 5);
    t.time = 30615250 / 86400000.0;
    return t;
  }

  std::string Frame(const SendTelegram& t) {
    EXPECT_TRUE(BuildTelegramFrame(world.send, port, t, false, sent));
    return ToHex(sent.View());
  }
};

TEST_F(SendTelegramTest, EachTypeCarriesItsElementsAfterFunAndInf) {
  struct Case {
    const char* what;
    SendTelegram telegram;
    const char* frame;  // checksum written as 00
  };
  std::vector<Case> cases;

  SendTelegram t1 = Telegram(1, 1, 128, 16);
  t1.value = 6;  // DPI 2
  t1.data2 = 7;
  t1.iv = 1;
  t1.su = 1;
  cases.push_back(
      {"type 1 with IV and SU", t1, "68 0E 0E 68 44 01 01 81 01 01 80 10 02 92 3B 9E 88 07 00 16"});
  SendTelegram t1c = t1;
  t1c.iv = t1c.su = 0;
  t1c.replyKind = kReplyCommand;
  t1c.replyInfo = 9;
  cases.push_back({"type 1 started by a command takes its RII as SIN", t1c,
                   "68 0E 0E 68 44 01 01 81 01 01 80 10 02 92 3B 1E 08 09 00 16"});

  SendTelegram t2 = Telegram(2, 1, 128, 64);
  t2.value = 1;
  t2.data3 = 0x0102;
  t2.data4 = 0x0304;
  t2.data2 = 5;
  t2.replyKind = kReplyCommand;  // type 2 takes only an interrogation's SCN
  t2.replyInfo = 9;
  cases.push_back(
      {"type 2", t2, "68 12 12 68 44 01 02 81 01 01 80 40 01 02 01 04 03 92 3B 1E 08 05 00 16"});

  SendTelegram t3 = Telegram(3, 2, 128, 144);
  t3.value = 20;  // 20 AND 15: four values
  for (int i = 1; i <= 5; ++i) t3.SetMeasuredValue(i, static_cast<std::uint16_t>(100 * 8 + i));
  cases.push_back({"type 3 sends value AND 15 measurands and that VSQ", t3,
                   "68 10 10 68 44 01 03 04 02 01 80 90 21 03 22 03 23 03 24 03 00 16"});

  SendTelegram t4 = Telegram(4, 1, 128, 73);
  const float scl = 12.5f;
  std::memcpy(&t4.value, &scl, 4);
  t4.data3 = 5;
  t4.data4 = 7;
  cases.push_back(
      {"type 4", t4,
       "68 14 14 68 44 01 04 81 01 01 80 49 00 00 48 41 05 00 07 00 92 3B 1E 08 00 16"});

  SendTelegram t5 = Telegram(5, 3, 128, 4);
  t5.value = 0x102;  // COL is the low octet
  std::memcpy(&t5.raw[SendTelegram::kIdentificationAt], "Orvanta8 V10", 12);
  cases.push_back({"type 5", t5,
                   "68 15 15 68 44 01 05 81 03 01 80 04 02 4F 72 76 61 6E 74 61 38 20 56 31 30 00 "
                   "16"});

  SendTelegram t6 = Telegram(6, 8, 255, 0);
  t6.withWeekday = 1;
  cases.push_back({"type 6 with the day of the week", t6,
                   "68 0F 0F 68 44 01 06 81 08 01 FF 00 92 3B 1E 08 25 01 1A 00 16"});

  SendTelegram t7 = Telegram(7, 9, 255, 0);
  t7.value = 33;
  cases.push_back({"type 7 sends its own SCN", t7, "68 09 09 68 44 01 07 81 09 01 FF 00 21 00 16"});
  t7.replyKind = kReplyInterrogation;
  t7.replyInfo = 7;
  t7.typeId = 8;
  t7.cot = 10;
  cases.push_back({"type 8 started by an interrogation answers with its SCN", t7,
                   "68 09 09 68 44 01 08 81 0A 01 FF 00 07 00 16"});

  SendTelegram t10 = Telegram(10, 1, 254, 240);
  t10.rawLength = 4;
  t10.raw[0] = 1, t10.raw[1] = 2, t10.raw[2] = 3, t10.raw[3] = 4;
  cases.push_back({"type 10 sends rawLength octets", t10,
                   "68 0C 0C 68 44 01 0A 81 01 01 FE F0 01 02 03 04 00 16"});

  SendTelegram t20 = Telegram(20, 20, 128, 16);
  t20.value = 6;
  t20.data2 = 9;
  cases.push_back({"type 20", t20, "68 0A 0A 68 44 01 14 81 14 01 80 10 02 09 00 16"});

  SendTelegram t24 = Telegram(24, 31, 128, 0);
  t24.value = 0x101;
  t24.data3 = 0x1234;
  t24.data4 = 0x0102;
  t24.data2 = 5;
  cases.push_back({"type 24 takes the low octets of TOO and TOV", t24,
                   "68 0D 0D 68 44 01 18 81 1F 01 80 00 01 34 02 01 05 00 16"});

  SendTelegram t30 = Telegram(30, 1, 128, 0);
  cases.push_back({"a type without elements ends at the common address", t30,
                   "68 06 06 68 44 01 1E 81 01 01 00 16"});

  for (const Case& c : cases) {
    EXPECT_EQ(Frame(c.telegram), RepairChecksum(c.frame)) << c.what;
    EXPECT_EQ(sent.status, status::kCorrect) << c.what;
  }
}

TEST_F(SendTelegramTest, TypeTwentyThreeListsThePortsRecordedDisturbances) {
  SendTelegram t = Telegram(23, 31, 128, 0);
  world.send.Transfer(port).list.count = 2;
  for (int i = 0; i < 2; ++i) {
    for (int k = 0; k < 10; ++k)
      world.send.Transfer(port).list.entries[i][k] = static_cast<std::uint8_t>(16 * i + k);
  }
  EXPECT_EQ(Frame(t), RepairChecksum("68 1C 1C 68 44 01 17 02 1F 01 80 00 "
                                     "00 01 02 03 04 05 06 07 08 09 "
                                     "10 11 12 13 14 15 16 17 18 19 00 16"));
  world.send.Transfer(port).list.count = 0;
  EXPECT_EQ(Frame(t), RepairChecksum("68 08 08 68 44 01 17 00 1F 01 80 00 00 16"));
}

TEST_F(SendTelegramTest, ATimeOfZeroCarriesTheMomentOfBuilding) {
  SendTelegram t = Telegram(1, 1, 128, 16);
  t.date = 0;
  t.time = 0;
  const auto first = Hex(Frame(t));
  world.clock.Advance(1000);
  const auto second = Hex(Frame(t));
  const auto at = [](const testing::Octets& f) { return f[13] | (f[14] << 8); };
  const std::uint32_t now = world.time.TimeOfDayMs();
  EXPECT_EQ(at(second), static_cast<int>(now % 60000));
  EXPECT_EQ((at(second) - at(first) + 60000) % 60000, 1000);
}

TEST_F(SendTelegramTest, TheControlFollowsTheServiceAndTheFcb) {
  port.params.function = PortFunction::Primary;
  SendTelegram t = Telegram(20, 20, 128, 16);
  t.service = 0;
  EXPECT_EQ(Hex(Frame(t))[4], 0x73);  // send/confirm, FCB toggled
  EXPECT_EQ(Hex(Frame(t))[4], 0x53);
  t.service = 2;  // a primary sends user data as send/confirm
  EXPECT_EQ(Hex(Frame(t))[4], 0x73);
  t.service = 7;  // not a service: sent as send/confirm
  EXPECT_EQ(Hex(Frame(t))[4], 0x53);
  // A secondary answering a poll sends user data under the polled address.
  port.params.function = PortFunction::Secondary;
  port.answeredAddress = 3;
  t.linkAddress = 255;
  ASSERT_TRUE(BuildTelegramFrame(world.send, port, t, true, sent));
  EXPECT_EQ(sent.octets[4], 0x08);
  EXPECT_EQ(sent.octets[5], 3);
  EXPECT_EQ(sent.octets[9], 3);
}

TEST_F(SendTelegramTest, TheCommonAddressIsTheTelegramsOwnOnlyWhenSeparate) {
  SendTelegram t = Telegram(20, 20, 128, 16);
  t.commonAddress = 9;
  EXPECT_EQ(Hex(Frame(t))[9], 1);
  world.general.separateCommonAddress = 1;
  EXPECT_EQ(Hex(Frame(t))[9], 9);
}

TEST_F(SendTelegramTest, FreeFrames) {
  SendTelegram t = Telegram(128, 0, 0, 0);
  EXPECT_EQ(Frame(t), RepairChecksum("68 02 02 68 44 01 00 16"));
  EXPECT_EQ(sent.status, status::kAsduLength);

  const auto asdu = Hex("14 81 14 01 80 10 02 09");
  std::copy(asdu.begin(), asdu.end(), t.raw.begin());
  t.rawLength = static_cast<std::uint32_t>(asdu.size());
  EXPECT_EQ(Frame(t), RepairChecksum("68 0A 0A 68 44 01 14 81 14 01 80 10 02 09 00 16"));
  EXPECT_EQ(sent.status, status::kCorrect);

  // Type 129 goes out as written: no framing, no checksum, not validated.
  t.typeId = kTypeFreeOctets;
  t.rawLength = 3;
  EXPECT_EQ(Frame(t), "14 81 14");
  EXPECT_EQ(sent.status, status::kFreeOctets);
  t.rawLength = 0;
  EXPECT_EQ(Frame(t), "");
  port.params.function = PortFunction::GapMonitor;
  t.rawLength = 2;
  EXPECT_EQ(Frame(t), "14 81");
  EXPECT_EQ(sent.status, status::kCorrect);

  // The longest raw data still makes a frame whose length fits its octet.
  t.typeId = kTypeFreeAsdu;
  port.params.function = PortFunction::Unassigned;
  t.rawLength = SendTelegram::kRawCapacity;
  const auto frame = Hex(Frame(t));
  ASSERT_EQ(frame.size(), 261u);
  EXPECT_EQ(frame[1], 255);
}

TEST_F(SendTelegramTest, ValidatingAFreeFrameMovesNoStateOfThePort) {
  port.params.function = PortFunction::Secondary;
  port.params.addressCount = 2;
  port.params.addresses = {1, 2, 255};
  port.currentIndex = 0;
  SendTelegram t = Telegram(128, 0, 0, 0);
  t.service = 0;
  t.linkAddress = 2;
  const auto asdu = Hex("14 81 14 02 80 10 02 09");
  std::copy(asdu.begin(), asdu.end(), t.raw.begin());
  t.rawLength = 8;
  const ListBits fcb = port.fcbBits;
  Frame(t);
  EXPECT_EQ(port.currentIndex, 0);
  EXPECT_EQ(port.fcbBits, fcb);
}

TEST_F(SendTelegramTest, PresetOfAFreeTypeHoldsWhatTheTelegramWouldSend) {
  SendTelegram t = Telegram(20, 20, 128, 16);
  t.value = 2;
  t.data2 = 9;
  std::array<std::uint8_t, 264> out{};
  const std::size_t asdu = PresetFreeOctets(world.send, t, kTypeFreeAsdu, out);
  EXPECT_EQ(ToHex(testing::Octets(out.begin(), out.begin() + static_cast<long>(asdu))),
            "14 81 14 01 80 10 02 09");
  const std::size_t frame = PresetFreeOctets(world.send, t, kTypeFreeOctets, out);
  EXPECT_EQ(ToHex(testing::Octets(out.begin(), out.begin() + static_cast<long>(frame))),
            RepairChecksum("68 0A 0A 68 44 01 14 81 14 01 80 10 02 09 00 16"));
}

TEST_F(SendTelegramTest, ListRowsTakeTheirDefaultsByType) {
  SendList& list = world.data.List(1);
  list.service = 1;
  list.vsq = 0x55;  // never used for a row
  SendListRow& row = list.Row(1);
  row = SendListRow{4, 100, 1, {}, 3, 2, 128, 144};
  RecountRows(world.send, 1);
  ASSERT_EQ(FindCurrentRow(list), 1u);
  EXPECT_EQ(Frame(BuildListRowTelegram(world.send, list)),
            RepairChecksum("68 10 10 68 44 01 03 04 02 01 80 90 20 03 20 03 20 03 20 03 00 16"));

  row = SendListRow{1, 3, 1, {}, 5, 3, 128, 2};
  FindCurrentRow(list);
  EXPECT_EQ(Frame(BuildListRowTelegram(world.send, list)),
            RepairChecksum("68 15 15 68 44 01 05 81 03 01 80 02 01 4F 72 76 61 6E 74 61 38 20 56 "
                           "31 30 00 16"));

  row = SendListRow{2, 0x0203, 1, {}, 24, 31, 128, 0};
  FindCurrentRow(list);
  EXPECT_EQ(Frame(BuildListRowTelegram(world.send, list)),
            RepairChecksum("68 0D 0D 68 44 01 18 81 1F 01 80 00 02 01 03 02 00 00 16"));

  row = SendListRow{6, 4, 1, {}, 21, 40, 254, 244};
  FindCurrentRow(list);
  EXPECT_EQ(Frame(BuildListRowTelegram(world.send, list)),
            RepairChecksum("68 0C 0C 68 44 01 15 81 28 01 FE F4 00 00 00 00 00 16"));

  // A type 1 row takes SIN from data 2 and the summer-time parameter.
  row = SendListRow{2, 6, 1, {}, 1, 1, 128, 16};
  world.general.summerTime = 1;
  FindCurrentRow(list);
  const auto frame = Hex(Frame(BuildListRowTelegram(world.send, list)));
  EXPECT_EQ(frame[12], 2);
  EXPECT_EQ(frame[16] & 0x80, 0x80);
  EXPECT_EQ(frame[17], 6);
}

}  // namespace
}  // namespace kivo
