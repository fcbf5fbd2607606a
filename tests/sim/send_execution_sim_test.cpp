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
  // The variable frames of type `typ` one side sent from wire entry `from` on.
  std::vector<testing::Octets> Frames(Side side, int typ, std::size_t from = 0) const {
    std::vector<testing::Octets> frames;
    for (const std::string& hex : SentBy(side, from)) {
      const auto f = Hex(hex);
      if (f.size() > 6 && f[0] == 0x68 && f[6] == typ) frames.push_back(f);
    }
    return frames;
  }
  std::string Controls(Side side, int typ, std::size_t from = 0) const {
    std::string text;
    for (const auto& f : Frames(side, typ, from))
      text += testing::ToHex(std::span(f).subspan(4, 1)) + " ";
    return text;
  }
  // Starts the telegram or list and runs `ticks`; the wire entry it started at.
  template <typename Start>
  std::size_t Run(Start start, int ticks) {
    EXPECT_TRUE(start());
    const std::size_t from = wire.sent.size();
    Ticks(ticks);
    return from;
  }
};

TEST_F(SendSim, RepeatedTelegramsAnnounceTheFollowingOnesWithAcd) {
  Started();
  SendTelegram& t = secondary.send.Telegram(1);  // type 1 for address 1
  t.repeatCount = 3;
  std::size_t from = Run([&] { return OperatorSendNow(secondary, t); }, 40);
  EXPECT_EQ(Controls(Side::Secondary, 1, from), "28 28 08 ");
  EXPECT_EQ(t.sendState, kSendIdle);
  EXPECT_EQ(t.sentCount, 0u);
  EXPECT_FALSE(AnySending(secondary.sendContext));
  // Cyclic data answers class 2 polls, without ACD.
  SendTelegram& cyclic = secondary.send.Telegram(3);  // type 3, cause 2
  cyclic.repeatCount = 2;
  from = Run([&] { return OperatorSendNow(secondary, cyclic); }, 40);
  EXPECT_EQ(Controls(Side::Secondary, 3, from), "08 08 ");
  for (const std::string& hex : SentBy(Side::Primary, from)) EXPECT_NE(Hex(hex)[1] & 0x0F, 0x0A);
  // Without end: ACD until stopped, then only no-data answers.
  t.repeatCount = 0;
  from = Run([&] { return OperatorSendNow(secondary, t); }, 30);
  EXPECT_EQ(Controls(Side::Secondary, 1, from).substr(0, 15), "28 28 28 28 28 ");
  EXPECT_EQ(Controls(Side::Secondary, 1, from).find("08"), std::string::npos);
  StopSending(secondary.sendContext, 255);
  Ticks(2);
  from = wire.sent.size();
  Ticks(20);
  for (const std::string& hex : SentBy(Side::Secondary, from)) EXPECT_EQ(hex.substr(0, 5), "10 09");
}

TEST_F(SendSim, APauseSpacesTheTransmissions) {
  Started();
  secondary.timeBase.msPerTick = 54;
  SendTelegram& t = secondary.send.Telegram(1);
  t.repeatCount = 2;
  t.pauseMs = 1000;
  const std::size_t from = Run([&] { return OperatorSendNow(secondary, t); }, 60);
  std::vector<std::uint32_t> times;
  for (std::size_t i = from; i < wire.sent.size(); ++i) {
    if (wire.sent[i].from == Side::Secondary && wire.sent[i].hex.starts_with("68 0E"))
      times.push_back(wire.sent[i].ms);
  }
  ASSERT_EQ(times.size(), 2u);
  // The pause starts when the next answer is chosen, and the telegram leaves
  // at the first class 1 poll after it: at most two poll cycles more.
  EXPECT_GE(times[1] - times[0], 1000u);
  EXPECT_LT(times[1] - times[0], 1000u + 2 * 600u + 200u);
}

TEST_F(SendSim, PrimaryTelegramsAndListsGoInTheirOrder) {
  Started();
  // Telegram 3 (type 3) and 8 (type 9), both cyclic: the higher number first.
  std::size_t from = Run(
      [&] {
        return OperatorSendNow(primary, primary.send.Telegram(3)) &&
               OperatorSendNow(primary, primary.send.Telegram(8));
      },
      20);
  std::vector<int> types;
  for (const std::string& hex : SentBy(Side::Primary, from))
    if (hex.starts_with("68")) types.push_back(Hex(hex)[6]);
  EXPECT_EQ(types, (std::vector<int>{9, 3}));

  // A list sends its active rows pass by pass: two rows a start, two starts.
  SendList& list = primary.send.List(1);
  for (std::uint8_t row : {2, 5, 9}) list.Row(row) = SendListRow{2, 0, 1, {}, 20, 20, 128, row};
  list.rowsPerStart = list.repeatCount = 2;
  RecountRows(primary.sendContext, 1);
  from = Run([&] { return OperatorStartList(primary, 1); }, 30);
  std::vector<int> infs;
  for (const std::string& hex : SentBy(Side::Primary, from))
    if (hex.starts_with("68 0A")) infs.push_back(Hex(hex)[11]);
  EXPECT_EQ(infs, (std::vector<int>{2, 5, 9, 2}));
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

  wire.modem[1] = kModemDcd | kModemDsr;
  ASSERT_TRUE(OperatorStartList(secondary, 2));
  EXPECT_EQ(list.sendState, kSendDue);
  EXPECT_EQ(Events(loggedS, event::kDtrOn).size(), 1u);
  EXPECT_TRUE(sport.secondary.handshake.listRunning);
  const std::size_t from = wire.sent.size();
  Ticks(40);
  // The row goes out after the handshake; the end of the pass ends the list.
  EXPECT_EQ(Frames(Side::Secondary, 1, from).size(), 1u);
  EXPECT_FALSE(sport.secondary.handshake.listRunning);
  EXPECT_EQ(list.sendState, kSendIdle);
}

TEST_F(SendSim, ReceivedTypesAndTheLinkStartWaitingTelegrams) {
  SendTelegram& onLinkUp = primary.send.Telegram(10);  // type 20
  onLinkUp.trigger = kTriggerLinkUp;
  SendTelegram& onReset = secondary.send.Telegram(1);
  onReset.trigger = kTriggerLinkReset;
  // The operator's identification stands in for the built-in one.
  SendTelegram& id = secondary.send.Telegram(5);
  id.portCode = 2;
  std::memcpy(&id.raw[SendTelegram::kIdentificationAt], "Device 4711 ", 12);
  Online();
  Ticks(20);
  EXPECT_EQ(Frames(Side::Primary, 20).size(), 1u);
  EXPECT_EQ(Frames(Side::Secondary, 1).size(), 1u);
  const auto identification = Frames(Side::Secondary, 5);
  ASSERT_EQ(identification.size(), 1u);
  EXPECT_EQ(std::string(identification[0].begin() + 13, identification[0].begin() + 25),
            "Device 4711 ");

  // An interrogation starts a telegram that answers with its scan number.
  SendTelegram& answer = secondary.send.Telegram(2);
  answer.typeId = 8, answer.cot = 10, answer.fun = 255, answer.inf = 0, answer.value = 33;
  answer.trigger = kTriggerReceivedType;
  answer.triggerType = 7;
  primary.send.Telegram(7).value = 7;  // type 7, SCN 7
  const std::size_t from =
      Run([&] { return OperatorSendNow(primary, primary.send.Telegram(7)); }, 20);
  EXPECT_EQ(Frames(Side::Primary, 7, from).size(), 1u);
  const auto end = Frames(Side::Secondary, 8, from);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(testing::ToHex(end[0]),
            testing::RepairChecksum("68 09 09 68 08 01 08 81 0A 01 FF 00 07 00 16"));
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
  const auto& m = fakeP.prompter.messages;
  const int expected[] = {kMsgOffline,    kMsgLinkDown,        kMsgLinkDown,
                          kMsgNoUserData, text::kNoSerialPort, kMsgNoActiveRows};
  ASSERT_EQ(m.size(), 6u);
  for (std::size_t i : {0, 1, 3, 4, 5}) EXPECT_EQ(m[i], primary.texts.Text(expected[i])) << i;
}

// The clock triggers, with a virtual clock from 08:00 across 09:00.
TEST_F(SendSim, MinuteTriggersFollowTheClock) {
  SendTelegram& every15 = primary.send.Telegram(1);
  every15.trigger = kTriggerEveryMinutes;
  every15.triggerMinute = 15;
  SendTelegram& hourly = primary.send.Telegram(2);
  hourly.trigger = kTriggerHourly;
  hourly.triggerMinute = 15;
  StopSending(primary.sendContext, 255);  // arms the clock check
  GoOnline(primary);
  std::vector<int> starts[2];
  for (int tick = 0; tick < 65 * 60 * 1000 / 54; ++tick) {
    OnTimerTick(primary);
    clock.Advance(54);
    const LocalTime now = clock.Now();
    for (int i : {0, 1}) {
      if (primary.send.Telegram(i + 1).sendState == kSendIdle) continue;
      starts[i].push_back(now.hour * 100 + now.minute);
      primary.send.Telegram(i + 1).sendState = kSendIdle;
    }
    // Nothing else runs: no answers come back on this wire.
    wire.toward[0].clear();
    wire.toward[1].clear();
  }
  EXPECT_EQ(starts[0], (std::vector<int>{815, 830, 845, 900}));
  EXPECT_EQ(starts[1], (std::vector<int>{815}));
}

}  // namespace
}  // namespace kivo
