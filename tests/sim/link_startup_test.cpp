#include <gtest/gtest.h>

#include <algorithm>

#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::RepairChecksum;
using testing::Side;
using Sim = testing::SimTest;
namespace st = status;
using Frames = std::vector<std::string>;

std::string Identification(int address, int cause, int info) {
  char head[64];
  std::snprintf(head, sizeof head, "68 15 15 68 08 %02X 05 81 %02X %02X 80 %02X 02", address, cause,
                address, info);
  // "Orvanta8 V10", checksum placeholder
  return RepairChecksum(std::string(head) + " 4F 72 76 61 6E 74 61 38 20 56 31 30 00 16");
}

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
  const auto line = Line();
  ASSERT_GE(line.size(), 4u);
  EXPECT_EQ(Frames(line.begin(), line.begin() + 4),
            (Frames{"P: 10 40 01 41 16", "S: 10 20 01 21 16", "P: 10 7A 01 7B 16",
                    "S: " + Identification(1, 4, 3)}));
}

TEST_F(Sim, PollsToAnAddressToggleTheFcb) {
  Addresses({1});
  Online();
  Ticks(80);
  const auto polls = SentBy(Side::Primary);
  ASSERT_GE(polls.size(), 6u);
  EXPECT_EQ(Frames(polls.begin() + 1, polls.begin() + 5),
            (Frames{"10 7A 01 7B 16", "10 5B 01 5C 16", "10 7B 01 7C 16", "10 5B 01 5C 16"}));
  const auto codes = StatusOf(loggedS, "10 5B 01 5C 16", 1);
  EXPECT_EQ(codes, std::vector<int>(codes.size(), st::kCorrect));
}

TEST_F(Sim, LostAnswerIsRepeatedWithStatus14AndAnsweredAgain) {
  Addresses({1});
  Online();
  Ticks(20);  // reset, identification, first class 2 poll
  const std::size_t from = wire.sent.size();
  wire.dropFromSecondary = 1;
  Ticks(30);
  const auto line = Line(from);
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

}  // namespace
}  // namespace kivo
