#include <gtest/gtest.h>

#include <algorithm>

#include "link/secondary.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::RepairChecksum;
using testing::Side;
using Sim = testing::SimTest;
namespace st = status;

// A broadcast time synchronisation (send/no reply) with a time tag of
// 00:00:00.000 that the echo must replace.
const std::string kBroadcastTimeSync =
    RepairChecksum("68 0F 0F 68 44 FF 06 81 08 FF FF 00 00 00 00 00 01 01 1A 00 16");

// Only address 1 on both sides.
class SimOne : public testing::SimOneAddress {
 protected:
  std::vector<std::string> PrimaryControls(std::size_t from) const {
    std::vector<std::string> controls;
    for (const auto& frame : SentBy(Side::Primary, from)) controls.push_back(frame.substr(3, 2));
    return controls;
  }
};

TEST_F(Sim, BroadcastTimeSyncIsEchoedByEveryStationWithTheCurrentTime) {
  Online();
  Ticks(20);
  const std::size_t from = wire.sent.size();
  ToSecondary(kBroadcastTimeSync);
  EXPECT_TRUE(SentBy(Side::Secondary, from).empty());  // a broadcast is not answered
  Ticks(60);
  std::vector<std::string> echoes;
  for (const auto& frame : SentBy(Side::Secondary, from)) {
    if (frame.rfind("68 0F 0F 68", 0) == 0) echoes.push_back(frame);
  }
  ASSERT_EQ(echoes.size(), 3u);
  const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
  std::vector<int> addresses;
  for (const auto& echo : echoes) {
    const auto octets = testing::Hex(echo);
    EXPECT_EQ(octets[4], 0x08);  // nothing follows the echo
    addresses.push_back(octets[5]);
    EXPECT_EQ(octets[6], 6);
    EXPECT_EQ(octets[9], octets[5]);  // common address follows the link address
    EXPECT_EQ(octets[15] & 0x1F, (now / 3600000) % 24);
    EXPECT_EQ(octets[14], (now / 60000) % 60);
    EXPECT_EQ(RepairChecksum(echo), echo);
  }
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(addresses, (std::vector<int>{1, 2, 3}));
  // Each echo was announced by ACD and fetched by a class 1 poll.
  const auto line = Line(from);
  int announced = 0;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i].rfind("S: 68 0F", 0) == 0) {
      EXPECT_EQ(testing::Hex(line[i - 1].substr(3))[1] & 0x0F, 0x0A) << i;
    }
    if (line[i].rfind("S: 10 29", 0) == 0) ++announced;
  }
  EXPECT_EQ(announced, 3);
}

TEST_F(SimOne, ClassOnePollLimitForcesEveryFourthPollToClassTwo) {
  pport.params.class1PollLimit = 3;
  sport.linkTest.ltForceAcd = true;
  Started();
  const std::size_t from = wire.sent.size();
  Ticks(80);
  const auto controls = PrimaryControls(from);
  ASSERT_GE(controls.size(), 9u);
  // After the identification (no ACD) a class 2 poll; then ACD holds and the
  // limit lets three class 1 polls through before a class 2 poll.
  std::string classes;
  for (const auto& c : controls) classes += (std::stoul(c, nullptr, 16) & 0x0F) == 0x0A ? '1' : '2';
  EXPECT_EQ(classes.substr(0, 9), "211121112");
}

TEST_F(SimOne, AcdInTheAnswerFetchesClassOneWithoutWaitingForThePollCycle) {
  Started();
  Ticks(20);
  const std::size_t from = wire.sent.size();
  sport.linkTest.ltForceAcd = true;
  Ticks(30);
  const auto& sent = wire.sent;
  std::vector<std::uint32_t> class1Times;
  for (std::size_t i = from; i < sent.size(); ++i) {
    if (sent[i].from == Side::Primary && (testing::Hex(sent[i].hex)[1] & 0x0F) == 0x0A) {
      class1Times.push_back(sent[i].ms);
    }
  }
  ASSERT_GE(class1Times.size(), 4u);
  for (std::size_t i = 1; i < class1Times.size(); ++i) {
    EXPECT_LT(class1Times[i] - class1Times[i - 1], 2 * kTimerIntervalMs) << i;
  }
}

TEST_F(SimOne, SingleCharacterAnswersPollsWhenBothAllowIt) {
  pport.params.singleCharacter = 0;
  sport.params.singleCharacter = 0;
  Started();
  const std::size_t from = wire.sent.size();
  Ticks(40);
  const auto line = Line(from);
  ASSERT_GE(line.size(), 4u);
  EXPECT_EQ(line[0], "P: 10 5B 01 5C 16");
  EXPECT_EQ(line[1], "S: E5");
  EXPECT_EQ(line[2], "P: 10 7B 01 7C 16");  // taken as no data: the next poll, no repetition
  EXPECT_EQ(StatusOf(loggedP, "E5", 1).front(), st::kCorrect);
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

TEST_F(SimOne, SingleCharacterForAcknowledgementsOnlyRefusesItAfterAPoll) {
  pport.params.singleCharacter = 2;
  sport.params.singleCharacter = 0;
  Started();
  const std::size_t from = wire.sent.size();
  Ticks(60);
  const auto line = Line(from);
  ASSERT_GE(line.size(), 7u);
  EXPECT_EQ(line[0], "P: 10 5B 01 5C 16");
  EXPECT_EQ(line[1], "S: E5");
  EXPECT_EQ(line[2], "P: 10 5B 01 5C 16");  // time-out, repeated with the same FCB
  EXPECT_EQ(line[3], "S: E5");
  EXPECT_EQ(line[4], "P: 10 5B 01 5C 16");
  EXPECT_EQ(line[5], "S: E5");
  EXPECT_EQ(line[6], "P: 10 47 01 48 16");  // lost, reset on its next turn
  const auto codes = StatusOf(loggedP, "E5", 1);
  EXPECT_TRUE(std::all_of(codes.begin(), codes.end(),
                          [](int c) { return c == st::kSingleCharacterRefused; }));
  // lost, reset, identified again: the pair keeps recovering
  EXPECT_EQ(Events(loggedP, event::kLinkLost).front(), 1);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished).size(),
            Events(loggedP, event::kLinkLost).size());
}

TEST_F(SimOne, NoSingleCharacterRefusesItEverywhere) {
  pport.params.singleCharacter = 1;
  sport.params.singleCharacter = 0;
  Started();
  const std::size_t from = wire.sent.size();
  Ticks(60);
  EXPECT_EQ(Line(from)[1], "S: E5");
  EXPECT_EQ(StatusOf(loggedP, "E5", 1).front(), st::kSingleCharacterRefused);
  // lost, reset, identified again: the pair keeps recovering
  EXPECT_EQ(Events(loggedP, event::kLinkLost).front(), 1);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished).size(),
            Events(loggedP, event::kLinkLost).size());
}

TEST_F(Sim, ResetOfTheCommunicationUnitIsAcknowledgedWithAcdNeverE5) {
  sport.params.singleCharacter = 0;
  GoOnline(secondary);
  ToSecondary("10 40 03 43 16");
  ASSERT_EQ(SentBy(Side::Secondary), (std::vector<std::string>{"10 20 03 23 16"}));
  EXPECT_EQ(Events(loggedS, event::kLinkResetReceived), (std::vector<int>{3}));
  ToSecondary("10 7A 03 7D 16");
  const auto answers = SentBy(Side::Secondary);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1],
            RepairChecksum("68 15 15 68 08 03 05 81 04 03 80 03 02 4F 72 76 61 6E 74 61 38 20 "
                           "56 31 30 00 16"));
  // nothing waits any more: a class 2 poll gets the single character
  ToSecondary("10 5B 03 5E 16");
  EXPECT_EQ(SentBy(Side::Secondary).back(), "E5");
  // the same poll again (FCB unchanged) gets the same answer, logged with 14
  ToSecondary("10 5B 03 5E 16");
  EXPECT_EQ(SentBy(Side::Secondary).back(), "E5");
  EXPECT_EQ(loggedS.back().status, st::kFcbNotToggled);
}

TEST_F(Sim, SendNoReplyIsNotAnswered) {
  GoOnline(secondary);
  ToSecondary("10 47 02 49 16");
  const std::size_t before = wire.sent.size();
  ToSecondary(RepairChecksum("68 0F 0F 68 44 02 06 81 08 02 FF 00 00 00 00 00 01 01 1A 00 16"));
  EXPECT_EQ(wire.sent.size(), before);
}

TEST_F(Sim, BusySecondaryAnswersNegativelyWhereItWouldSendE5) {
  sport.params.singleCharacter = 0;
  GoOnline(secondary);
  ToSecondary("10 47 01 48 16");
  ToSecondary("10 7A 01 7B 16");  // takes the identification
  sport.linkTest.ltBusy = true;
  ToSecondary("10 5B 01 5C 16");
  EXPECT_EQ(SentBy(Side::Secondary).back(), "10 01 01 02 16");
  sport.linkTest.Clear();
  ToSecondary("10 7B 01 7C 16");
  EXPECT_EQ(SentBy(Side::Secondary).back(), "E5");
}

TEST_F(SimOne, BusyAnswerHoldsTheCycleForTheLinkWaitThenAsksForTheStatus) {
  pport.params.linkWait = 1;
  Started();
  Ticks(20);
  sport.linkTest.ltBusy = true;
  const std::size_t from = wire.sent.size();
  Ticks(60);
  const auto& sent = wire.sent;
  ASSERT_GE(sent.size(), from + 4);
  EXPECT_EQ(sent[from].hex.substr(0, 5), "10 5B");
  EXPECT_EQ(sent[from + 1].hex, "10 01 01 02 16");  // negative instead of no data
  EXPECT_EQ(sent[from + 2].hex, "10 49 01 4A 16");
  EXPECT_EQ(sent[from + 3].hex, "10 01 01 02 16");  // still busy
  // one second (19 ticks at 54 ms) between the busy answer and the request
  EXPECT_GE(sent[from + 2].ms - sent[from + 1].ms, 950u);
  EXPECT_LE(sent[from + 2].ms - sent[from + 1].ms, 1200u);
  sport.linkTest.ltBusy = false;
  const std::size_t after = wire.sent.size();
  Ticks(60);
  const auto line = Line(after);
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line[0], "P: 10 49 01 4A 16");
  EXPECT_EQ(line[1], "S: 10 0B 01 0C 16");
  EXPECT_EQ(line[2].substr(0, 7), "P: 10 7");  // polling goes on
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

TEST_F(SimOne, ForcedDfcHoldsTheCycleLikeABusyAnswer) {
  Started();
  Ticks(20);
  sport.linkTest.ltForceDfc = true;
  const std::size_t from = wire.sent.size();
  Ticks(40);
  const auto line = Line(from);
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line[1], "S: 10 19 01 1A 16");  // no data with DFC
  EXPECT_EQ(line[2], "P: 10 49 01 4A 16");
  EXPECT_EQ(StatusOf(loggedP, "10 19 01 1A 16", 1).front(), st::kDataFlowControl);
}

TEST_F(SimOne, FrozenFcbMakesTheSecondaryRepeatItsAnswer) {
  Started();
  Ticks(20);
  pport.linkTest.ltFcbFrozen = true;
  const std::size_t from = wire.sent.size();
  Ticks(40);
  const auto polls = SentBy(Side::Primary, from);
  ASSERT_GE(polls.size(), 2u);
  EXPECT_EQ(polls[0], polls[1]);
  const auto codes = StatusOf(loggedS, polls[0], 1);
  EXPECT_EQ(codes.back(), st::kFcbNotToggled);
  // every further answer is the previous one again, logged with status 14
  const auto answers = SentBy(Side::Secondary, from);
  EXPECT_EQ(answers.back(), answers.front());
  EXPECT_EQ(loggedS.back().status, st::kFcbNotToggled);
}

TEST_F(SimOne, InvertedFcvOnThePrimaryIsSeenOnTheLine) {
  Started();
  Ticks(20);
  pport.linkTest.ltInvertFcv = true;
  const std::size_t from = wire.sent.size();
  Ticks(12);
  const auto polls = SentBy(Side::Primary, from);
  ASSERT_FALSE(polls.empty());
  EXPECT_EQ(testing::Hex(polls[0])[1] & 0x10, 0);  // a poll without FCV
}

TEST_F(SimOne, PollToAnAddressNotResetIsRefusedWith15) {
  Online();
  // Before any reset: a class 2 poll to address 1 is logged with status 15.
  ToSecondary("10 7B 01 7C 16");
  EXPECT_EQ(StatusOf(loggedS, "10 7B 01 7C 16", 1).front(), st::kLinkNotReset);
  EXPECT_TRUE(SentBy(Side::Secondary).empty());
}

TEST_F(SimOne, DtrHandshakeRunsItsStatesAndHoldsBackData) {
  Started();
  wire.modem[1] = kModemDcd;
  ASSERT_TRUE(StartHandshake(secondary.linkContext, sport, 200));
  EXPECT_EQ(Events(loggedS, event::kDtrOn).size(), 1u);
  EXPECT_FALSE(StartHandshake(secondary.linkContext, sport, 200));  // one at a time
  EXPECT_EQ(Events(loggedS, event::kHandshakeRefused).size(), 1u);
  const std::size_t from = wire.sent.size();
  ToSecondary(kBroadcastTimeSync);
  Ticks(5);  // 170 ms: DTR drops
  EXPECT_EQ(Events(loggedS, event::kDtrOff).size(), 1u);
  EXPECT_EQ(sport.secondary.handshake.state, HandshakeState::AwaitDsr);
  wire.modem[1] = kModemDcd | kModemDsr;
  Ticks(1);
  EXPECT_EQ(Events(loggedS, event::kDsrOn).size(), 1u);
  EXPECT_EQ(sport.secondary.handshake.state, HandshakeState::RowDelay);
  // While the handshake is active, polls get no data although the echo waits.
  for (const auto& frame : SentBy(Side::Secondary, from)) EXPECT_EQ(frame.substr(0, 5), "10 09");
  Ticks(6);
  EXPECT_EQ(sport.secondary.handshake.state, HandshakeState::Settle);
  wire.modem[1] = kModemDcd;
  sport.secondary.handshake.listRunning = false;
  Ticks(2);
  EXPECT_EQ(Events(loggedS, event::kDsrOff).size(), 1u);
  EXPECT_EQ(sport.secondary.handshake.state, HandshakeState::Idle);
  Ticks(30);
  const auto answers = SentBy(Side::Secondary, from);
  EXPECT_NE(std::find_if(answers.begin(), answers.end(),
                         [](const std::string& f) { return f.rfind("68 0F", 0) == 0; }),
            answers.end());
  EXPECT_EQ(wire.dtr[1].back(), false);
}

TEST_F(SimOne, HandshakeIsRefusedWithoutDcd) {
  Started();
  EXPECT_FALSE(StartHandshake(secondary.linkContext, sport, 0));
  EXPECT_EQ(Events(loggedS, event::kHandshakeRefused).size(), 1u);
  EXPECT_TRUE(Events(loggedS, event::kDtrOn).empty());
}

TEST_F(SimOne, ResetReceivedStopsTheHandshake) {
  Started();
  wire.modem[1] = kModemDcd;
  ASSERT_TRUE(StartHandshake(secondary.linkContext, sport, 0));
  ToSecondary("10 47 01 48 16");
  EXPECT_EQ(sport.secondary.handshake.state, HandshakeState::Idle);
  EXPECT_FALSE(sport.secondary.handshake.listRunning);
}

TEST_F(SimOne, GarbageFromTheLineNeverBreaksTheProcedures) {
  Started();
  std::uint32_t seed = 12345;
  for (int round = 0; round < 300; ++round) {
    testing::Octets junk;
    const int n = 1 + static_cast<int>(seed % 40);
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      const std::uint8_t pick[] = {0x10, 0x68, 0xE5, 0x16, 0x5B, 0x7A, 0x01, 0xFF, 0x08, 0x0F};
      junk.push_back(seed % 3 == 0 ? static_cast<std::uint8_t>(seed >> 16)
                                   : pick[(seed >> 8) % 10]);
    }
    wire.toward[round % 2].push_back(junk);
    Ticks(1);
  }
  Ticks(200);
  // after the noise the pair settles to polling again
  const std::size_t from = wire.sent.size();
  Ticks(60);
  EXPECT_GE(SentBy(Side::Secondary, from).size(), 2u);
}

TEST_F(SimOne, AnswerDuringTheSendDelayIsLoggedWith23AndIgnored) {
  pport.params.sendDelay = 300;
  Online();
  Ticks(30);
  for (int i = 0; i < 200 && pport.transmit.step != TransmitStep::SendDelay; ++i) Ticks(1);
  ASSERT_EQ(pport.transmit.step, TransmitStep::SendDelay);
  wire.toward[0].push_back(testing::Hex("10 0B 01 0C 16"));
  Settle();
  EXPECT_EQ(StatusOf(loggedP, "10 0B 01 0C 16", 1), (std::vector<int>{st::kPortBusy}));
  // the request still goes out and is answered as usual
  Ticks(30);
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

}  // namespace
}  // namespace kivo
