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
  static SendTelegram Telegram(std::uint8_t type, std::uint8_t cot, std::uint8_t fun,
                               std::uint8_t inf) {
    SendTelegram t{};
    t.service = 1, t.typeId = type, t.cot = cot, t.fun = fun, t.inf = inf, t.linkAddress = 1;
    t.date = DayNumber(2026, 1, 5);  // a Monday
    t.time = 30615250 / 86400000.0;  // 08:30:15.250
    return t;
  }
  std::string Frame(const SendTelegram& t) {
    EXPECT_TRUE(BuildTelegramFrame(world.send, port, t, false, sent));
    return ToHex(sent.View());
  }
};

// The frame of send/no reply to address 1 that carries this ASDU.
std::string Framed(const std::string& asdu) {
  const std::size_t length = Hex(asdu).size() + 2;
  char head[16];
  std::snprintf(head, sizeof head, "68 %02zX %02zX 68 ", length, length);
  return RepairChecksum(head + ("44 01 " + asdu + " 00 16"));
}

// The telegram takes its type, cause, FUN and INF from the ASDU it is to send.
TEST_F(SendTelegramTest, EachTypeCarriesItsElementsAfterFunAndInf) {
  struct Case {
    const char* asdu;
    std::uint32_t value = 0, data2 = 0, data3 = 0, data4 = 0;
    std::uint8_t replyKind = kReplyNormal, replyInfo = 0;
    bool timeFlags = false;  // IV, SU and the day of the week
  };
  DisturbanceList& recorded = world.send.Transfer(port).list;
  recorded.count = 2;
  for (std::size_t k = 0; k < 20; ++k) recorded.entries[k / 10][k % 10] = k / 10 * 16 + k % 10;
  const Case cases[] = {
      // Type 1 with IV and SU, and started by a command: its RII is the SIN.
      {"01 81 01 01 80 10 02 92 3B 9E 88 07", 6, 7, 0, 0, kReplyNormal, 0, true},
      {"01 81 01 01 80 10 02 92 3B 1E 08 09", 6, 7, 0, 0, kReplyCommand, 9},
      // Type 2 takes only an interrogation's SCN.
      {"02 81 01 01 80 40 01 02 01 04 03 92 3B 1E 08 05", 1, 5, 0x0102, 0x0304, kReplyCommand, 9},
      // Types 3 and 9: value AND 15 measurands (raw from 144 on) and that VSQ.
      {"03 04 02 01 80 90 90 91 92 93 94 95 96 97", 20},
      {"09 01 02 01 80 94 90 91", 1},
      {"04 81 01 01 80 49 00 00 48 41 05 00 07 00 92 3B 1E 08", 0x41480000, 0, 5, 7},
      // Type 5: COL is the low octet, the identification raw 128 to 139.
      {"05 81 03 01 80 04 02 80 81 82 83 84 85 86 87 88 89 8A 8B", 0x102},
      {"06 81 08 01 FF 00 92 3B 9E 88 25 01 1A", 0, 0, 0, 0, kReplyNormal, 0, true},
      // Type 7 sends its own SCN, type 8 started by an interrogation that one.
      {"07 81 09 01 FF 00 21", 33},
      {"08 81 0A 01 FF 00 07", 33, 0, 0, 0, kReplyInterrogation, 7},
      // Types 10, 11 and 21 send rawLength octets.
      {"0A 81 01 01 FE F0 00 01 02 03"},
      {"0B 81 01 01 FE F0 00 01 02 03"},
      {"15 81 01 01 FE F0 00 01 02 03"},
      {"14 81 14 01 80 10 02 09", 6, 9},
      // Type 24 takes the low octets of TOO and TOV.
      {"18 81 1F 01 80 00 01 34 02 01 05", 0x101, 5, 0x1234, 0x0102},
      // Type 23 lists the port's recorded disturbances.
      {"17 02 1F 01 80 00 00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 16 17 18 19"},
      // Types without elements of their own still carry FUN and INF: an
      // acknowledgement (25), a type the builder does not know, a private one.
      {"19 81 1F 01 80 00"},
      {"00 81 01 01 80 01"},
      {"0C 81 01 01 FE 02"},
      {"16 81 01 01 80 03"},
      {"1E 81 01 01 80 04"},
      {"7F 81 01 01 FF 05"},
  };
  for (const Case& c : cases) {
    const testing::Octets asdu = Hex(std::string(c.asdu) + " 80 00");
    SendTelegram t = Telegram(asdu[0], asdu[2], asdu[4], asdu[5]);
    t.value = c.value, t.data2 = c.data2, t.data3 = c.data3, t.data4 = c.data4;
    t.replyKind = c.replyKind, t.replyInfo = c.replyInfo, t.rawLength = 4;
    for (std::size_t i = 0; i < t.raw.size(); ++i) t.raw[i] = static_cast<std::uint8_t>(i);
    t.iv = t.su = t.withWeekday = c.timeFlags;
    EXPECT_EQ(Frame(t), Framed(c.asdu));
    EXPECT_EQ(sent.status, status::kCorrect) << c.asdu;
  }
  recorded.count = 0;
  EXPECT_EQ(Frame(Telegram(23, 31, 128, 0)), Framed("17 00 1F 01 80 00"));
  // The common address is the telegram's own only when separate.
  SendTelegram t = Telegram(20, 20, 128, 16);
  t.commonAddress = 9, world.general.separateCommonAddress = 1;
  EXPECT_EQ(Frame(t), Framed("14 81 14 09 80 10 00 00"));
}

TEST_F(SendTelegramTest, ATimeOfZeroCarriesTheMomentOfBuilding) {
  SendTelegram t = Telegram(1, 1, 128, 16);
  t.date = t.time = 0;
  const auto first = Hex(Frame(t));
  world.clock.Advance(1000);
  const auto second = Hex(Frame(t));
  const auto at = [](const testing::Octets& f) { return f[13] | (f[14] << 8); };
  EXPECT_EQ(at(second), static_cast<int>(world.time.TimeOfDayMs() % 60000));
  EXPECT_EQ((at(second) - at(first) + 60000) % 60000, 1000);
}

TEST_F(SendTelegramTest, TheControlFollowsTheServiceAndTheFcb) {
  port.params.function = PortFunction::Primary;
  SendTelegram t = Telegram(20, 20, 128, 16);
  // Send/confirm with the FCB toggled; a primary sends user data (2) and
  // what is no service (7) as send/confirm.
  std::string controls;
  for (std::uint32_t service : {0, 0, 2, 7}) {
    t.service = service;
    controls += Frame(t).substr(12, 3);
  }
  EXPECT_EQ(controls, "73 53 73 53 ");
  // A secondary answering a poll sends user data under the polled address.
  port.params.function = PortFunction::Secondary;
  port.answeredAddress = 3;
  t.linkAddress = 255;
  ASSERT_TRUE(BuildTelegramFrame(world.send, port, t, true, sent));
  EXPECT_EQ(ToHex(sent.View().subspan(4, 6)), "08 03 14 81 14 03");
}

// Type 128 frames the operator's ASDU and validates it like a received
// frame; type 129 goes out as written: no framing, no checksum, not
// validated (but on a gap monitor). The preset of a free type holds what
// the telegram would send.
TEST_F(SendTelegramTest, FreeFrames) {
  const std::tuple<std::uint8_t, PortFunction, std::uint32_t, std::string, int> cases[] = {
      {128, PortFunction::Unassigned, 0, Framed(""), status::kAsduLength},
      {128, PortFunction::Unassigned, 8, Framed("14 81 14 01 80 10 02 09"), status::kCorrect},
      {129, PortFunction::Unassigned, 3, "14 81 14", status::kFreeOctets},
      {129, PortFunction::Unassigned, 0, "", status::kFreeOctets},
      {129, PortFunction::GapMonitor, 2, "14 81", status::kCorrect}};
  SendTelegram t = Telegram(20, 20, 128, 16);
  t.value = 2, t.data2 = 9;
  std::array<std::uint8_t, 264> out{};
  EXPECT_EQ(ToHex(std::span(out).first(PresetFreeOctets(world.send, t, kTypeFreeAsdu, out))),
            "14 81 14 01 80 10 02 09");
  for (const auto& [type, function, length, frame, status] : cases) {
    port.params.function = function;
    t.typeId = type, t.rawLength = length;
    t.raw = out;
    EXPECT_EQ(Frame(t), frame);
    EXPECT_EQ(sent.status, status) << frame;
  }
  t.typeId = 20;
  EXPECT_EQ(ToHex(std::span(out).first(PresetFreeOctets(world.send, t, kTypeFreeOctets, out))),
            std::get<3>(cases[1]));
  // The longest raw data still makes a frame whose length fits its octet.
  t.typeId = kTypeFreeAsdu, t.rawLength = SendTelegram::kRawCapacity;
  EXPECT_EQ(Hex(Frame(t)).size(), 261u);
  EXPECT_EQ(Hex(Frame(t))[1], 255);

  // Validating a free frame moves no state of the port.
  port.params.function = PortFunction::Secondary;
  port.params.addressCount = 2;
  port.params.addresses = {1, 2, 255};
  t.service = 0, t.linkAddress = 2, t.rawLength = 8, t.raw[3] = 2;
  const ListBits fcb = port.fcbBits;
  Frame(t);
  EXPECT_EQ(port.currentIndex, 0);
  EXPECT_EQ(port.fcbBits, fcb);
}

TEST_F(SendTelegramTest, ListRowsTakeTheirDefaultsByType) {
  SendList& list = world.data.List(1);
  list.service = 1;
  world.general.summerTime = 1;
  const std::pair<SendListRow, const char*> cases[] = {
      {{4, 100, 1, {}, 3, 2, 128, 144}, "03 04 02 01 80 90 20 03 20 03 20 03 20 03"},
      {{1, 3, 1, {}, 5, 3, 128, 2}, "05 81 03 01 80 02 01 4F 72 76 61 6E 74 61 38 20 56 31 30"},
      {{2, 0x0203, 1, {}, 24, 31, 128, 0}, "18 81 1F 01 80 00 02 01 03 02 00"},
      {{6, 4, 1, {}, 21, 40, 254, 244}, "15 81 28 01 FE F4 00 00 00 00"},
      {{2, 6, 1, {}, 20, 20, 128, 16}, "14 81 14 01 80 10 02 06"},
      // Type 1: SIN from data 2, summer time as set, the time of building (00:00:01).
      {{2, 6, 1, {}, 1, 1, 128, 16}, "01 81 01 01 80 10 02 E8 03 00 80 06"}};
  for (const auto& [row, frame] : cases) {
    list.Row(1) = row;
    RecountRows(world.send, 1);
    list.vsq = 0x55;  // never used for a row
    ASSERT_EQ(FindCurrentRow(list), 1u);
    EXPECT_EQ(Frame(BuildListRowTelegram(world.send, list)), Framed(frame));
  }
}

}  // namespace
}  // namespace kivo
