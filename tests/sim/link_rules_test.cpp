#include <gtest/gtest.h>

#include <algorithm>

#include "link/secondary.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::RepairChecksum;
using testing::Side;
using Sim = testing::SimTest;
using Frames = std::vector<std::string>;
namespace st = status;

// A broadcast time synchronisation (send/no reply) with a time tag of
// 00:00:00.000 that the echo must replace.
const std::string kBroadcastTimeSync =
    RepairChecksum("68 0F 0F 68 44 FF 06 81 08 FF FF 00 00 00 00 00 01 01 1A 00 16");

std::string Identification(int address, int cause, int info) {
  char head[64];
  std::snprintf(head, sizeof head, "68 15 15 68 08 %02X 05 81 %02X %02X 80 %02X 02", address, cause,
                address, info);
  // "Orvanta8 V10", checksum placeholder
  return RepairChecksum(std::string(head) + " 4F 72 76 61 6E 74 61 38 20 56 31 30 00 16");
}

using SimOne = testing::SimOneAddress;

TEST_F(Sim, StartUpResetsIdentifiesAndPollsEachAddressInThePollCycle) {
  Online();
  Ticks(40);
  const Frames expected{
      "P: 10 47 01 48 16", "S: 10 20 01 21 16",  // ack with ACD: the identification waits
      "P: 10 7A 01 7B 16", "S: " + Identification(1, 3, 2),
      "P: 10 47 02 49 16", "S: 10 20 02 22 16",
      "P: 10 7A 02 7C 16", "S: " + Identification(2, 3, 2),
      "P: 10 47 03 4A 16", "S: 10 20 03 23 16",
      "P: 10 7A 03 7D 16", "S: " + Identification(3, 3, 2),
      "P: 10 5B 01 5C 16", "S: 10 09 01 0A 16",  // class 2, FCB toggled back
      "P: 10 5B 02 5D 16", "S: 10 09 02 0B 16",
      "P: 10 5B 03 5E 16", "S: 10 09 03 0C 16",
  };
  EXPECT_EQ(Line(), expected);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Events(loggedS, event::kLinkResetReceived), (std::vector<int>{1, 2, 3}));
  Ticks(110);
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
  std::vector<std::uint32_t> pollTimes;
  for (const auto& sent : wire.sent) {
    if (sent.from == Side::Primary &&
        (sent.hex.starts_with("10 5B") || sent.hex.starts_with("10 7B"))) {
      pollTimes.push_back(sent.ms);
    }
  }
  ASSERT_GE(pollTimes.size(), 8u);
  // One poll per 600 ms on the port (10 ticks at the unmeasured 60 ms per
  // tick), whatever the address.
  for (std::size_t i = 1; i < pollTimes.size(); ++i) {
    EXPECT_GE(pollTimes[i] - pollTimes[i - 1], 10u * kTimerIntervalMs) << i;
    EXPECT_LE(pollTimes[i] - pollTimes[i - 1], 720u) << i;
  }
}

TEST_F(Sim, ResetOfTheCommunicationUnitIdentifiesWithCause4) {
  pport.params.resetKind = 0;
  Online();
  Ticks(12);
  EXPECT_EQ(First(Line(), 4), (Frames{"P: 10 40 01 41 16", "S: 10 20 01 21 16", "P: 10 7A 01 7B 16",
                                      "S: " + Identification(1, 4, 3)}));
}

TEST_F(Sim, LostAnswerIsRepeatedWithStatus14AndAnsweredAgain) {
  Addresses({1});
  Online();
  Ticks(20);  // reset, identification, first class 2 poll
  wire.dropFromSecondary = 1;
  const auto line = LineOver(30);
  ASSERT_GE(line.size(), 4u);
  // The poll goes out again with the same FCB; the device repeats its answer.
  EXPECT_EQ(line[0], line[2]);
  EXPECT_EQ(line[1], line[3]);
  const std::string poll = line[0].substr(3);
  const auto firstTwo = [](std::vector<int> codes) {
    codes.resize(2);
    return codes;
  };
  const std::vector<int> sentThenRepeated{st::kCorrect, st::kFcbNotToggled};
  EXPECT_EQ(firstTwo(StatusOf(loggedP, poll, 2)), sentThenRepeated);
  EXPECT_EQ(firstTwo(StatusOf(loggedS, poll, 1)), sentThenRepeated);
  const auto answers = StatusOf(loggedS, line[1].substr(3), 2);
  EXPECT_EQ(std::count(answers.begin(), answers.end(), st::kFcbNotToggled), 1);
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

TEST_F(Sim, SilentAddressIsLostAfterTheRepetitionsAndCostsOneTimeOutPerTurn) {
  Online();
  Ticks(60);
  ClosePort(secondary.linkContext, 0);
  const std::size_t from = wire.sent.size();
  Ticks(300);
  // 3 tries (request and 2 repetitions) of the address served first, then
  // each address is lost once and is reset once per turn.
  auto lost = Events(loggedP, event::kLinkLost);
  std::sort(lost.begin(), lost.end());
  EXPECT_EQ(lost, (std::vector<int>{1, 2, 3}));
  const auto sent = SentBy(Side::Primary, from);
  ASSERT_GE(sent.size(), 12u);
  EXPECT_EQ(sent[0], sent[1]);
  EXPECT_EQ(sent[1], sent[2]);
  EXPECT_GE(std::count(sent.begin(), sent.end(), "10 47 01 48 16"), 2);
  // after the losses only resets go out, one per address and turn, never repeated
  for (std::size_t i = 9; i + 1 < sent.size(); ++i) {
    EXPECT_NE(sent[i], sent[i + 1]) << i;
    EXPECT_EQ(sent[i].substr(0, 5), "10 47") << i;
  }
}

TEST_F(Sim, UnlistedAddressIsResetOncePerTurnWithoutEvents) {
  Configure(sport.params, PortFunction::Secondary, {1, 3});
  Online();
  Ticks(100);
  const auto sent = SentBy(Side::Primary);
  EXPECT_GE(std::count(sent.begin(), sent.end(), "10 47 02 49 16"), 2);
  EXPECT_EQ(StatusOf(loggedS, "10 47 02 49 16", 1).front(), st::kAddressNotListed);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished), (std::vector<int>{1, 3}));
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

TEST_F(Sim, BroadcastTimeSyncIsEchoedByEveryStationWithTheCurrentTime) {
  Online();
  Ticks(20);
  const std::size_t from = wire.sent.size();
  ToSecondary(kBroadcastTimeSync);
  EXPECT_TRUE(SentBy(Side::Secondary, from).empty());  // a broadcast is not answered
  Ticks(60);
  const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
  std::vector<int> addresses;
  const auto line = Line(from);
  int announced = 0;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i].starts_with("S: 10 29")) ++announced;
    if (!line[i].starts_with("S: 68 0F 0F 68")) continue;
    // Each echo was announced by ACD and fetched by a class 1 poll.
    EXPECT_EQ(Hex(line[i - 1].substr(3))[1] & 0x0F, 0x0A) << i;
    const std::string echo = line[i].substr(3);
    const auto octets = Hex(echo);
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
  EXPECT_EQ(announced, 3);
}

TEST_F(SimOne, ClassOnePollLimitForcesEveryFourthPollToClassTwo) {
  pport.params.class1PollLimit = 3;
  sport.linkTest.ltForceAcd = true;
  Started();
  const std::size_t from = wire.sent.size();
  Ticks(80);
  // After the identification (no ACD) a class 2 poll; then ACD holds and the
  // limit lets three class 1 polls through before a class 2 poll.
  std::string classes;
  for (const auto& poll : SentBy(Side::Primary, from))
    classes += (Hex(poll)[1] & 0x0F) == 0x0A ? '1' : '2';
  EXPECT_EQ(classes.substr(0, 9), "211121112");
}

TEST_F(SimOne, AcdInTheAnswerFetchesClassOneWithoutWaitingForThePollCycle) {
  const std::size_t from = PollingThen([&] { sport.linkTest.ltForceAcd = true; });
  Ticks(30);
  std::vector<std::uint32_t> times;
  for (std::size_t i = from; i < wire.sent.size(); ++i) {
    if (wire.sent[i].from == Side::Primary && (Hex(wire.sent[i].hex)[1] & 0x0F) == 0x0A)
      times.push_back(wire.sent[i].ms);
  }
  ASSERT_GE(times.size(), 4u);
  for (std::size_t i = 1; i < times.size(); ++i)
    EXPECT_LT(times[i] - times[i - 1], 2 * kTimerIntervalMs) << i;
}

// The single character E5 after a poll, by the primary's setting (0 allowed,
// 1 never, 2 for acknowledgements only), from a secondary that sends it.
struct SingleCase {
  std::uint32_t single;
  Frames line;
  int status;
  bool lost;
};

void PrintTo(const SingleCase& c, std::ostream* os) {
  *os << "setting " << c.single;
}

class SingleCharacter : public SimOne, public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleCharacter, AfterAPollByThePrimarysSetting) {
  const SingleCase& c = GetParam();
  pport.params.singleCharacter = c.single;
  sport.params.singleCharacter = 0;
  Started();
  EXPECT_EQ(First(LineOver(60), c.line.size()), c.line);
  const auto codes = StatusOf(loggedP, "E5", 1);
  EXPECT_EQ(codes, std::vector<int>(codes.size(), c.status));
  // lost, reset, identified again: the pair keeps recovering
  const auto lost = Events(loggedP, event::kLinkLost);
  EXPECT_EQ(!lost.empty(), c.lost);
  if (c.lost) {
    EXPECT_EQ(lost.front(), 1);
    std::vector<int> links;  // established and lost in turn
    for (const TLogEntry& e : loggedP)
      if (e.frameKind == kFrameEvent &&
          (e.status == event::kLinkEstablished || e.status == event::kLinkLost))
        links.push_back(e.status);
    ASSERT_GE(links.size(), 3u);
    for (std::size_t i = 0; i < links.size(); ++i)
      EXPECT_EQ(links[i], i % 2 == 0 ? event::kLinkEstablished : event::kLinkLost) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    LinkRules, SingleCharacter,
    ::testing::Values(
        // taken as no data: the next poll, no repetition
        SingleCase{0, {"P: 10 5B 01 5C 16", "S: E5", "P: 10 7B 01 7C 16"}, st::kCorrect, false},
        SingleCase{1, {"P: 10 5B 01 5C 16", "S: E5"}, st::kSingleCharacterRefused, true},
        // time-out, repeated with the same FCB; lost, reset on its next turn
        SingleCase{2,
                   {"P: 10 5B 01 5C 16", "S: E5", "P: 10 5B 01 5C 16", "S: E5", "P: 10 5B 01 5C 16",
                    "S: E5", "P: 10 47 01 48 16"},
                   st::kSingleCharacterRefused,
                   true}),
    [](const auto& info) { return "Setting" + std::to_string(info.param.single); });

class Requests : public Sim {
 protected:
  // What the secondary sends on `hex`, its frames joined by " | ".
  std::string Answer(const std::string& hex) {
    const std::size_t from = wire.sent.size();
    ToSecondary(hex);
    std::string answers;
    for (const auto& frame : SentBy(Side::Secondary, from))
      answers += (answers.empty() ? "" : " | ") + frame;
    return answers;
  }
};

TEST_F(Requests, SecondaryAnswersAsTheLinkOfTheAddressStands) {
  sport.params.singleCharacter = 0;
  GoOnline(secondary);
  // Before any reset a poll is refused with 15.
  EXPECT_EQ(Answer("10 7B 01 7C 16"), "");
  EXPECT_EQ(StatusOf(loggedS, "10 7B 01 7C 16", 1), (std::vector<int>{st::kLinkNotReset}));
  // A reset of the communication unit is acknowledged with ACD, never E5.
  EXPECT_EQ(Answer("10 40 03 43 16"), "10 20 03 23 16");
  EXPECT_EQ(Events(loggedS, event::kLinkResetReceived), (std::vector<int>{3}));
  EXPECT_EQ(Answer("10 7A 03 7D 16"), Identification(3, 4, 3));
  EXPECT_EQ(Answer("10 5B 03 5E 16"), "E5");  // nothing waits any more
  // the same poll again (FCB unchanged) gets the same answer, logged with 14
  EXPECT_EQ(Answer("10 5B 03 5E 16"), "E5");
  EXPECT_EQ(loggedS.back().status, st::kFcbNotToggled);
  // send/no reply is not answered
  EXPECT_EQ(Answer("10 47 02 49 16"), "10 20 02 22 16");
  EXPECT_EQ(
      Answer(RepairChecksum("68 0F 0F 68 44 02 06 81 08 02 FF 00 00 00 00 00 01 01 1A 00 16")), "");
  // Busy: a negative answer where E5 would go.
  Answer("10 47 01 48 16");
  Answer("10 7A 01 7B 16");  // takes the identification
  sport.linkTest.ltBusy = true;
  EXPECT_EQ(Answer("10 5B 01 5C 16"), "10 01 01 02 16");
  sport.linkTest.Clear();
  EXPECT_EQ(Answer("10 7B 01 7C 16"), "E5");
}

TEST_F(SimOne, BusyAnswerHoldsTheCycleForTheLinkWaitThenAsksForTheStatus) {
  pport.params.linkWait = 1;
  const std::size_t from = PollingThen([&] { sport.linkTest.ltBusy = true; });
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
  auto line = First(LineOver(60), 3);
  ASSERT_EQ(line.size(), 3u);
  line[2].resize(7);  // polling goes on
  EXPECT_EQ(line, (Frames{"P: 10 49 01 4A 16", "S: 10 0B 01 0C 16", "P: 10 7"}));
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

TEST_F(SimOne, ForcedDfcHoldsTheCycleLikeABusyAnswer) {
  PollingThen([&] { sport.linkTest.ltForceDfc = true; });
  auto line = First(LineOver(40), 3);
  ASSERT_EQ(line.size(), 3u);
  line[0].resize(5);
  EXPECT_EQ(line, (Frames{"P: 10", "S: 10 19 01 1A 16", "P: 10 49 01 4A 16"}));  // DFC, no data
  EXPECT_EQ(StatusOf(loggedP, "10 19 01 1A 16", 1).front(), st::kDataFlowControl);
}

TEST_F(SimOne, FrozenFcbMakesTheSecondaryRepeatItsAnswer) {
  const std::size_t from = PollingThen([&] { pport.linkTest.ltFcbFrozen = true; });
  Ticks(40);
  const auto polls = SentBy(Side::Primary, from);
  ASSERT_GE(polls.size(), 2u);
  EXPECT_EQ(polls[0], polls[1]);
  EXPECT_EQ(StatusOf(loggedS, polls[0], 1).back(), st::kFcbNotToggled);
  // every further answer is the previous one again, logged with status 14
  const auto answers = SentBy(Side::Secondary, from);
  EXPECT_EQ(answers.back(), answers.front());
  EXPECT_EQ(loggedS.back().status, st::kFcbNotToggled);
}

TEST_F(SimOne, InvertedFcvOnThePrimaryIsSeenOnTheLine) {
  const std::size_t from = PollingThen([&] { pport.linkTest.ltInvertFcv = true; });
  Ticks(12);
  const auto polls = SentBy(Side::Primary, from);
  ASSERT_FALSE(polls.empty());
  EXPECT_EQ(Hex(polls[0])[1] & 0x10, 0);  // a poll without FCV
}

TEST_F(SimOne, DtrHandshakeRunsItsStatesHoldsBackDataAndNeedsDcd) {
  Started();
  auto count = [&](int code) { return Events(loggedS, code).size(); };
  EXPECT_FALSE(StartHandshake(secondary.linkContext, sport, 0));  // no DCD
  EXPECT_EQ(count(event::kHandshakeRefused), 1u);
  EXPECT_EQ(count(event::kDtrOn), 0u);
  wire.end[1].modem = kModemDcd;
  ASSERT_TRUE(StartHandshake(secondary.linkContext, sport, 200));
  EXPECT_EQ(count(event::kDtrOn), 1u);
  EXPECT_FALSE(StartHandshake(secondary.linkContext, sport, 200));  // one at a time
  EXPECT_EQ(count(event::kHandshakeRefused), 2u);
  const std::size_t from = wire.sent.size();
  ToSecondary(kBroadcastTimeSync);
  const auto& handshake = sport.secondary.handshake;
  Ticks(5);  // 170 ms: DTR drops
  EXPECT_EQ(count(event::kDtrOff), 1u);
  EXPECT_EQ(handshake.state, HandshakeState::AwaitDsr);
  wire.end[1].modem = kModemDcd | kModemDsr;
  Ticks(1);
  EXPECT_EQ(count(event::kDsrOn), 1u);
  EXPECT_EQ(handshake.state, HandshakeState::RowDelay);
  // While the handshake is active, polls get no data although the echo waits.
  for (const auto& frame : SentBy(Side::Secondary, from)) EXPECT_EQ(frame.substr(0, 5), "10 09");
  Ticks(6);
  EXPECT_EQ(handshake.state, HandshakeState::Settle);
  wire.end[1].modem = kModemDcd;
  sport.secondary.handshake.listRunning = false;
  Ticks(2);
  EXPECT_EQ(count(event::kDsrOff), 1u);
  EXPECT_EQ(handshake.state, HandshakeState::Idle);
  Ticks(30);
  const auto answers = SentBy(Side::Secondary, from);
  EXPECT_TRUE(std::any_of(answers.begin(), answers.end(),
                          [](const std::string& f) { return f.starts_with("68 0F"); }));
  EXPECT_EQ(wire.end[1].dtr.back(), false);
  // A reset received stops the handshake.
  ASSERT_TRUE(StartHandshake(secondary.linkContext, sport, 0));
  ToSecondary("10 47 01 48 16");
  EXPECT_EQ(handshake.state, HandshakeState::Idle);
  EXPECT_FALSE(handshake.listRunning);
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
    wire.end[round % 2].incoming.push_back({junk});
    Ticks(1);
  }
  Ticks(200);
  const std::size_t from = wire.sent.size();
  Ticks(60);
  EXPECT_GE(SentBy(Side::Secondary, from).size(), 2u);  // polling again
}

TEST_F(SimOne, AnswerDuringTheSendDelayIsLoggedWith23AndIgnored) {
  pport.params.sendDelay = 300;
  Online();
  Ticks(30);
  for (int i = 0; i < 200 && pport.transmit.step != TransmitStep::SendDelay; ++i) Ticks(1);
  ASSERT_EQ(pport.transmit.step, TransmitStep::SendDelay);
  wire.end[0].incoming.push_back({Hex("10 0B 01 0C 16")});
  Settle();
  EXPECT_EQ(StatusOf(loggedP, "10 0B 01 0C 16", 1), (std::vector<int>{st::kPortBusy}));
  // the request still goes out and is answered as usual
  Ticks(30);
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
}

}  // namespace
}  // namespace kivo
