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
  // The variable frames one side sent from `from` on whose type is `typ`.
  std::vector<testing::Octets> Frames(Side side, std::size_t from, int typ) const {
    std::vector<testing::Octets> frames;
    for (const std::string& hex : SentBy(side, from)) {
      const auto f = Hex(hex);
      if (f.size() > 6 && f[0] == 0x68 && f[6] == typ) frames.push_back(f);
    }
    return frames;
  }
  static std::string Controls(const std::vector<testing::Octets>& frames) {
    std::string text;
    for (const auto& f : frames) text += testing::ToHex(std::span(f).subspan(4, 1)) + " ";
    return text;
  }
};

TEST_F(SendSim, ATelegramRepeatedThreeTimesAnnouncesTheFollowingTwo) {
  Started();
  SendTelegram& t = secondary.send.Telegram(1);  // type 1 for address 1
  t.repeatCount = 3;
  t.pauseMs = 0;
  ASSERT_TRUE(OperatorSendNow(secondary, t));
  const std::size_t from = wire.sent.size();
  Ticks(40);
  const auto sent = Frames(Side::Secondary, from, 1);
  // ACD on the first two, not on the last.
  EXPECT_EQ(Controls(sent), "28 28 08 ");
  EXPECT_EQ(t.sendState, kSendIdle);
  EXPECT_EQ(t.sentCount, 0u);
  EXPECT_FALSE(AnySending(secondary.sendContext));
}

TEST_F(SendSim, ATelegramWithoutEndKeepsAcdUntilStopped) {
  Started();
  SendTelegram& t = secondary.send.Telegram(1);
  t.repeatCount = 0;
  ASSERT_TRUE(OperatorSendNow(secondary, t));
  std::size_t from = wire.sent.size();
  Ticks(30);
  const auto sent = Frames(Side::Secondary, from, 1);
  ASSERT_GE(sent.size(), 5u);
  for (const auto& f : sent) EXPECT_EQ(f[4], 0x28);
  EXPECT_TRUE(AnySending(secondary.sendContext));

  StopSending(secondary.sendContext, 255);
  Ticks(2);
  from = wire.sent.size();
  Ticks(20);
  EXPECT_TRUE(Frames(Side::Secondary, from, 1).empty());
  // Only no-data answers, without ACD.
  for (const std::string& hex : SentBy(Side::Secondary, from)) EXPECT_EQ(Hex(hex)[1], 0x09);
}

TEST_F(SendSim, APauseSpacesTheTransmissions) {
  Started();
  secondary.timeBase.msPerTick = 54;
  SendTelegram& t = secondary.send.Telegram(1);
  t.repeatCount = 2;
  t.pauseMs = 1000;
  ASSERT_TRUE(OperatorSendNow(secondary, t));
  const std::size_t from = wire.sent.size();
  Ticks(60);
  std::vector<std::uint32_t> times;
  for (std::size_t i = from; i < wire.sent.size(); ++i) {
    const auto f = Hex(wire.sent[i].hex);
    if (wire.sent[i].from == Side::Secondary && f.size() > 6 && f[6] == 1) {
      times.push_back(wire.sent[i].ms);
    }
  }
  ASSERT_EQ(times.size(), 2u);
  EXPECT_GE(times[1] - times[0], 1000u);
  // The pause starts when the next answer is chosen, and the telegram leaves
  // at the first class 1 poll after it: at most two poll cycles more.
  EXPECT_LT(times[1] - times[0], 1000u + 2 * 600u + 200u);
}

TEST_F(SendSim, TwoCyclicTelegramsOnAPrimaryGoHigherNumberFirst) {
  Started();
  // Telegram 3 is type 3, telegram 8 type 9, both cyclic, for port 1.
  ASSERT_EQ(primary.send.Telegram(3).cot, 2);
  ASSERT_EQ(primary.send.Telegram(8).cot, 2);
  ASSERT_TRUE(OperatorSendNow(primary, primary.send.Telegram(3)));
  ASSERT_TRUE(OperatorSendNow(primary, primary.send.Telegram(8)));
  const std::size_t from = wire.sent.size();
  Ticks(20);
  std::vector<int> types;
  for (const std::string& hex : SentBy(Side::Primary, from)) {
    const auto f = Hex(hex);
    if (f[0] == 0x68) types.push_back(f[6]);
  }
  EXPECT_EQ(types, (std::vector<int>{9, 3}));
}

TEST_F(SendSim, AListSendsItsActiveRowsPassByPass) {
  Started();
  SendList& list = primary.send.List(1);
  for (std::uint32_t row : {2u, 5u, 9u}) {
    list.Row(row) = SendListRow{2, 0, 1, {}, 20, 20, 128, static_cast<std::uint8_t>(row)};
  }
  list.rowsPerStart = 2;
  list.repeatCount = 2;
  RecountRows(primary.sendContext, 1);
  ASSERT_EQ(list.activeRows, 3u);
  ASSERT_EQ(list.lastActiveRow, 9u);
  ASSERT_TRUE(OperatorStartList(primary, 1));
  const std::size_t from = wire.sent.size();
  Ticks(30);
  std::vector<int> infs;
  for (const auto& f : Frames(Side::Primary, from, 20)) infs.push_back(f[11]);
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
  EXPECT_EQ(Frames(Side::Secondary, from, 1).size(), 1u);
  EXPECT_FALSE(sport.secondary.handshake.listRunning);
  EXPECT_EQ(list.sendState, kSendIdle);
}

TEST_F(SendSim, ACyclicTelegramOfASecondaryAnswersClassTwoPolls) {
  Started();
  SendTelegram& cyclic = secondary.send.Telegram(3);  // type 3, cause 2
  cyclic.repeatCount = 2;
  ASSERT_TRUE(OperatorSendNow(secondary, cyclic));
  const std::size_t from = wire.sent.size();
  Ticks(40);
  const auto sent = Frames(Side::Secondary, from, 3);
  // Class 2 data carries no ACD.
  EXPECT_EQ(Controls(sent), "08 08 ");
  for (const std::string& hex : SentBy(Side::Primary, from)) EXPECT_NE(Hex(hex)[1] & 0x0F, 0x0A);
}

TEST_F(SendSim, AListWithoutActiveRowsIsNotStarted) {
  Started();
  EXPECT_FALSE(OperatorStartList(primary, 4));
  ASSERT_EQ(fakeP.prompter.messages.size(), 1u);
  EXPECT_EQ(fakeP.prompter.messages[0], primary.texts.Text(kMsgNoActiveRows));
}

TEST_F(SendSim, AnInterrogationStartsATelegramThatAnswersWithItsScan) {
  Started();
  SendTelegram& answer = secondary.send.Telegram(2);
  answer.typeId = 8;
  answer.cot = 10;
  answer.fun = 255;
  answer.inf = 0;
  answer.value = 33;
  answer.trigger = kTriggerReceivedType;
  answer.triggerType = 7;
  SendTelegram& interrogation = primary.send.Telegram(7);  // type 7
  interrogation.value = 7;                                 // SCN 7
  ASSERT_TRUE(OperatorSendNow(primary, interrogation));
  const std::size_t from = wire.sent.size();
  Ticks(20);
  ASSERT_EQ(Frames(Side::Primary, from, 7).size(), 1u);
  const auto end = Frames(Side::Secondary, from, 8);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(testing::ToHex(end[0]),
            testing::RepairChecksum("68 09 09 68 08 01 08 81 0A 01 FF 00 07 00 16"));
  EXPECT_EQ(answer.replyKind, kReplyInterrogation);
}

TEST_F(SendSim, AResetStopsTheFiniteTelegramsForItsAddressOnly) {
  Configure(pport.params, PortFunction::Primary, {1, 3});
  Configure(sport.params, PortFunction::Secondary, {1, 3});
  Online();
  Ticks(10);
  SendTelegram& forOne = secondary.send.Telegram(1);
  SendTelegram& forThree = secondary.send.Telegram(2);
  SendTelegram& endlessForThree = secondary.send.Telegram(4);
  forOne.linkAddress = 1;
  forThree.linkAddress = 3;
  endlessForThree.linkAddress = 3;
  endlessForThree.repeatCount = 0;
  for (SendTelegram* t : {&forOne, &forThree, &endlessForThree}) {
    t->repeatCount = t == &endlessForThree ? 0 : 5;
    t->pauseMs = 100000;
    t->sendState = kSendDue;
  }
  ToSecondary("10 40 03 43 16");
  EXPECT_EQ(forOne.sendState, kSendDue);
  EXPECT_EQ(forThree.sendState, kSendIdle);
  EXPECT_EQ(endlessForThree.sendState, kSendDue);
  // Everything except a start without end for the broadcast address.
  endlessForThree.linkAddress = 255;
  StopSending(secondary.sendContext, 255);
  EXPECT_EQ(forOne.sendState, kSendIdle);
  EXPECT_EQ(endlessForThree.sendState, kSendDue);
}

TEST_F(SendSim, TheLinkComingUpStartsTelegramsWaitingForIt) {
  SendTelegram& t = primary.send.Telegram(10);  // type 20
  t.trigger = kTriggerLinkUp;
  SendTelegram& onReset = secondary.send.Telegram(1);
  onReset.trigger = kTriggerLinkReset;
  onReset.repeatCount = 1;
  Online();
  Ticks(20);
  EXPECT_EQ(Frames(Side::Primary, 0, 20).size(), 1u);
  EXPECT_EQ(Frames(Side::Secondary, 0, 1).size(), 1u);
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
  const auto& m = fakeP.prompter.messages;
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0], primary.texts.Text(kMsgOffline));
  EXPECT_EQ(m[1], primary.texts.Text(kMsgLinkDown));
  EXPECT_EQ(m[3], primary.texts.Text(kMsgNoUserData));
  EXPECT_EQ(m[4], primary.texts.Text(text::kNoSerialPort));
}

TEST_F(SendSim, TheOperatorsIdentificationStandsInForTheBuiltInOne) {
  SendTelegram& id = secondary.send.Telegram(5);
  id.portCode = 2;
  std::memcpy(&id.raw[SendTelegram::kIdentificationAt], "Device 4711 ", 12);
  Online();
  Ticks(6);
  const auto frames = Frames(Side::Secondary, 0, 5);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(std::string(frames[0].begin() + 13, frames[0].begin() + 25), "Device 4711 ");
}

TEST_F(SendSim, TheCaptionsNameTriggerAndTelegram) {
  SendTelegram& t = primary.send.Telegram(11);
  t.trigger = kTriggerReceivedType;
  t.triggerType = 7;
  t.name.Set("Answer");
  EXPECT_EQ(SendCaption(primary.sendContext, 11), "B" + primary.texts.Text(865) + "7 Answer");
  EXPECT_EQ(SendCaption(primary.sendContext, 13 + 11),
            "C" + primary.texts.Text(864) + primary.send.List(12).name.Get());
}

TEST_F(SendSim, CommittingMarksTheSendDataModifiedOnlyForARealChange) {
  SendTelegram work = primary.send.Telegram(3);
  work.focusIndex = 7;
  work.sendState = kSendDue;
  CommitSendTelegram(primary.sendContext, 3, work);
  EXPECT_FALSE(primary.app.sendDataModified);
  work.inf = 99;
  CommitSendTelegram(primary.sendContext, 3, work);
  EXPECT_TRUE(primary.app.sendDataModified);

  primary.app.sendDataModified = false;
  SendList list = primary.send.List(2);
  list.Row(7).active = 1;
  list.sendState = kSendDue;
  CommitSendList(primary.sendContext, 2, list);
  EXPECT_TRUE(primary.app.sendDataModified);
  EXPECT_EQ(list.activeRows, 1u);
  EXPECT_EQ(list.lastActiveRow, 7u);
  // Committing stops the list.
  EXPECT_EQ(primary.send.List(2).sendState, kSendIdle);
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
  std::vector<int> startsEvery15, startsHourly;
  const auto watch = [&](SendTelegram& t, std::vector<int>& starts) {
    if (t.sendState == kSendIdle) return;
    const LocalTime now = clock.Now();
    starts.push_back(now.hour * 100 + now.minute);
    t.sendState = kSendIdle;
  };
  for (int tick = 0; tick < 65 * 60 * 1000 / 54; ++tick) {
    OnTimerTick(primary);
    clock.Advance(54);
    watch(every15, startsEvery15);
    watch(hourly, startsHourly);
    // Nothing else runs: no answers come back on this wire.
    wire.toward[0].clear();
    wire.toward[1].clear();
  }
  EXPECT_EQ(startsEvery15, (std::vector<int>{815, 830, 845, 900}));
  EXPECT_EQ(startsHourly, (std::vector<int>{815}));
}

}  // namespace
}  // namespace kivo
