// Operator telegrams and lists between two complete stations on one wire:
// when they go out, how often, and what the answers announce.
#include <gtest/gtest.h>

#include <cstring>

#include "app/send_commands.h"
#include "send/send_execution.h"
#include "send/send_list.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::Side;

class SendSim : public testing::SimOneAddress {
 protected:
  // Octets `at` to `at + length - 1` of each variable frame of type `typ`
  // (any type: 0) that one side sent from wire entry `from` on.
  std::string Sent(Side side, int typ, std::size_t at, std::size_t from = 0,
                   std::size_t length = 1) const {
    std::string octets;
    for (const std::string& hex : SentBy(side, from)) {
      const auto f = Hex(hex);
      if (f.size() >= at + length && f[0] == 0x68 && (typ == 0 || f[6] == typ))
        octets += hex.substr(3 * at, 3 * length - 1) + " ";
    }
    return octets;
  }
};

TEST_F(SendSim, RepeatedTelegramsAnnounceTheFollowingOnesWithAcd) {
  Started();
  SendTelegram& t = secondary.send.Telegram(1);  // type 1 for address 1
  t.repeatCount = 3;
  std::size_t from = wire.sent.size();
  ASSERT_TRUE(OperatorSendNow(secondary, t));
  Ticks(40);
  EXPECT_EQ(Sent(Side::Secondary, 1, 4, from), "28 28 08 ");
  EXPECT_TRUE(t.sendState == kSendIdle && t.sentCount == 0);
  EXPECT_FALSE(AnySending(secondary.sendContext));
  // Cyclic data answers class 2 polls, without ACD.
  SendTelegram& cyclic = secondary.send.Telegram(3);  // type 3, cause 2
  cyclic.repeatCount = 2;
  from = wire.sent.size();
  ASSERT_TRUE(OperatorSendNow(secondary, cyclic));
  Ticks(40);
  EXPECT_EQ(Sent(Side::Secondary, 3, 4, from), "08 08 ");
  for (const std::string& hex : SentBy(Side::Primary, from)) EXPECT_NE(Hex(hex)[1] & 0x0F, 0x0A);
  // Without end: ACD until stopped, then only no-data answers.
  t.repeatCount = 0;
  from = wire.sent.size();
  ASSERT_TRUE(OperatorSendNow(secondary, t));
  Ticks(30);
  EXPECT_EQ(Sent(Side::Secondary, 1, 4, from).substr(0, 15), "28 28 28 28 28 ");
  EXPECT_EQ(Sent(Side::Secondary, 1, 4, from).find("08"), std::string::npos);
  StopSending(secondary.sendContext, 255);
  Ticks(2);
  from = wire.sent.size();
  Ticks(20);
  for (const std::string& hex : SentBy(Side::Secondary, from)) EXPECT_EQ(hex.substr(0, 5), "10 09");
}

TEST_F(SendSim, PrimaryTelegramsAndListsGoInTheirOrder) {
  Started();
  // Telegram 3 (type 3) and 8 (type 9), both cyclic: the higher number first.
  std::size_t from = wire.sent.size();
  ASSERT_TRUE(OperatorSendNow(primary, primary.send.Telegram(3)));
  ASSERT_TRUE(OperatorSendNow(primary, primary.send.Telegram(8)));
  Ticks(20);
  EXPECT_EQ(Sent(Side::Primary, 0, 6, from), "09 03 ");
  // A list sends its active rows pass by pass: two rows a start, two starts.
  SendList& list = primary.send.List(1);
  for (std::uint8_t row : {2, 5, 9}) list.Row(row) = SendListRow{2, 0, 1, {}, 20, 20, 128, row};
  list.rowsPerStart = list.repeatCount = 2;
  RecountRows(primary.sendContext, 1);
  from = wire.sent.size();
  ASSERT_TRUE(OperatorStartList(primary, 1));
  Ticks(30);
  EXPECT_EQ(Sent(Side::Primary, 20, 11, from), "02 05 09 02 ");
  EXPECT_EQ(list.sendState, kSendIdle);
}

TEST_F(SendSim, ASecondaryListWithTheHandshakeStartsOnlyWithDcd) {
  Started();
  SendList& list = secondary.send.List(2);
  list.Row(1).active = 1;
  list.secondaryService = 1;
  list.rowPause = 100;
  RecountRows(secondary.sendContext, 2);
  EXPECT_FALSE(OperatorStartList(secondary, 2));  // no DCD: event 54, taken back
  EXPECT_EQ(list.sendState, kSendIdle);
  EXPECT_EQ(Events(loggedS, event::kHandshakeRefused).size(), 1u);

  wire.end[1].modem = kModemDcd | kModemDsr;
  ASSERT_TRUE(OperatorStartList(secondary, 2));
  EXPECT_EQ(list.sendState, kSendDue);
  EXPECT_EQ(Events(loggedS, event::kDtrOn).size(), 1u);
  EXPECT_TRUE(sport.secondary.handshake.listRunning);
  const std::size_t from = wire.sent.size();
  Ticks(40);
  // The row goes out after the handshake; the end of the pass ends the list.
  EXPECT_EQ(Sent(Side::Secondary, 1, 6, from), "01 ");
  EXPECT_FALSE(sport.secondary.handshake.listRunning);
  EXPECT_EQ(list.sendState, kSendIdle);
}

TEST_F(SendSim, ReceivedTypesAndTheLinkStartWaitingTelegrams) {
  primary.send.Telegram(10).trigger = kTriggerLinkUp;      // type 20
  secondary.send.Telegram(1).trigger = kTriggerLinkReset;  // type 1
  // The operator's identification stands in for the built-in one.
  SendTelegram& id = secondary.send.Telegram(5);
  id.portCode = 2;
  std::memcpy(&id.raw[SendTelegram::kIdentificationAt], "Device 4711 ", 12);
  // An interrogation starts a telegram that answers with its scan number.
  SendTelegram& answer = secondary.send.Telegram(2);
  answer.typeId = 8, answer.cot = 10, answer.fun = 255, answer.inf = 0, answer.value = 33;
  answer.trigger = kTriggerReceivedType;
  answer.triggerType = 7;
  primary.send.Telegram(7).value = 7;  // type 7, SCN 7
  Online();
  Ticks(20);
  EXPECT_EQ(Sent(Side::Primary, 20, 6), "14 ");
  EXPECT_EQ(Sent(Side::Secondary, 1, 6), "01 ");
  EXPECT_EQ(Sent(Side::Secondary, 5, 13, 0, 12), "44 65 76 69 63 65 20 34 37 31 31 20 ");
  const std::size_t from = wire.sent.size();
  ASSERT_TRUE(OperatorSendNow(primary, primary.send.Telegram(7)));
  Ticks(20);
  EXPECT_EQ(Sent(Side::Primary, 7, 12, from), "07 ");
  EXPECT_EQ(Sent(Side::Secondary, 8, 0, from, 15),
            testing::RepairChecksum("68 09 09 68 08 01 08 81 0A 01 FF 00 07 00 16") + " ");
  EXPECT_EQ(answer.replyKind, kReplyInterrogation);
}

TEST_F(SendSim, RefusedStartsSayWhy) {
  SendTelegram& t = primary.send.Telegram(1);
  EXPECT_FALSE(OperatorSendNow(primary, t));  // offline
  Started();
  // The link of the address is down: a question; No starts nothing.
  SetListBit(pport.notReset, 0, true);
  fakeP.prompter.answers = {MessageResult::No};
  EXPECT_FALSE(OperatorSendNow(primary, t));
  fakeP.prompter.answers = {MessageResult::Yes};
  EXPECT_TRUE(OperatorSendNow(primary, t));
  EXPECT_TRUE(pport.send.operatorRequest);
  SetListBit(pport.notReset, 0, false);
  pport.linkTest.ltNoUserData = true;
  EXPECT_FALSE(OperatorSendNow(primary, t));
  t.portCode = 4;  // port 2 has no serial port
  EXPECT_FALSE(OperatorSendNow(primary, t));
  EXPECT_FALSE(OperatorStartList(primary, 4));  // no active rows
  const int expected[] = {kMsgOffline,    kMsgLinkDown,        kMsgLinkDown,
                          kMsgNoUserData, text::kNoSerialPort, kMsgNoActiveRows};
  ASSERT_EQ(fakeP.prompter.messages.size(), 6u);
  for (std::size_t i : {0, 1, 3, 4, 5})
    EXPECT_EQ(fakeP.prompter.messages[i], primary.texts.Text(expected[i])) << i;
}

// The clock triggers, with a virtual clock from 08:00 across 09:00.
TEST_F(SendSim, MinuteTriggersFollowTheClock) {
  SendTelegram& every15 = primary.send.Telegram(1);
  every15.trigger = kTriggerEveryMinutes;
  SendTelegram& hourly = primary.send.Telegram(2);
  hourly.trigger = kTriggerHourly;
  every15.triggerMinute = hourly.triggerMinute = 15;
  StopSending(primary.sendContext, 255);  // arms the clock check
  GoOnline(primary);
  std::string starts[2];
  for (int tick = 0; tick < 65 * 60 * 1000 / 54; ++tick) {
    OnTimerTick(primary);
    clock.Advance(54);
    const LocalTime now = clock.Now();
    for (SendTelegram* t : {&every15, &hourly}) {
      if (t->sendState == kSendIdle) continue;
      starts[t == &hourly] += std::to_string(now.hour * 100 + now.minute) + " ";
      t->sendState = kSendIdle;
    }
    // Nothing else runs: no answers come back on this wire.
    wire.end[0].incoming.clear();
    wire.end[1].incoming.clear();
  }
  EXPECT_EQ(starts[0], "815 830 845 900 ");
  EXPECT_EQ(starts[1], "815 ");
}

}  // namespace
}  // namespace kivo
