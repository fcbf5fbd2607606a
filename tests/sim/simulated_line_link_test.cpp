// Two Instances on the simulated line with the character timing of the baud
// rate.
#include <gtest/gtest.h>

#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::LineTest;

long Frames(const std::vector<TLogEntry>& log, int channel) {
  return std::count_if(log.begin(), log.end(), [&](const TLogEntry& e) {
    return e.frameKind != kFrameEvent && e.channel == channel;
  });
}

// The links of three addresses come up and stay up, every frame one side
// sends the other logs as correct, and a silent secondary loses them once.
TEST_F(LineTest, ThreeLinksComeUpEveryFrameArrivesCorrectAndSilenceLosesThemOnce) {
  Online();
  RunSeconds(10);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
  ExpectReceivedCorrect(loggedP, "primary");
  ExpectReceivedCorrect(loggedS, "secondary");
  // Reset and identification of each address, then one poll per poll cycle
  // (600 ms), each answered.
  EXPECT_GE(Frames(loggedP, 2), 6 + 10000 / 600);
  EXPECT_GE(Frames(loggedS, 2), Frames(loggedP, 2) - 1);
  line.SetSilent(1, true);
  loggedP.clear();
  RunSeconds(15);
  auto lost = Events(loggedP, event::kLinkLost);
  std::sort(lost.begin(), lost.end());
  EXPECT_EQ(lost, (std::vector<int>{1, 2, 3}));
}

// The answer arrives while the primary's step still waits out the character
// time of its request; the step that answer posts must run when that step
// ends, not a timer tick later.
TEST_F(LineTest, PrimaryPollsAgainWithinTheTickOfTheAnswer) {
  Addresses({1});
  for (PortRecord* port : {&pport, &sport}) {
    port->params.baud = 9600;
    port->params.pollCycle = 0;  // poll again as soon as the answer is in
  }
  Online();
  constexpr int kTicks = 40;
  for (int i = 0; i < kTicks; ++i) Tick();
  ExpectReceivedCorrect(loggedP, "primary");
  // A poll and its answer take about 8 ms at 9600 baud; a primary that went
  // on only at the next tick of 54 ms would manage one per tick.
  EXPECT_GE(Frames(loggedP, 2), 3 * kTicks) << "answers " << Frames(loggedP, 1);
  EXPECT_GE(Frames(loggedP, 1), Frames(loggedP, 2) - 1);
}

}  // namespace
}  // namespace kivo
