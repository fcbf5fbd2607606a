// Two Instances on the simulated line with the character timing of the baud
// rate: the links of three addresses come up and stay up, every frame one
// side sends the other logs as correct, and a silent secondary loses them.
#include <gtest/gtest.h>

#include <set>

#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using SimulatedLineLinkTest = testing::LineTest;

TEST_F(SimulatedLineLinkTest, ThreeLinksComeUpEveryFrameArrivesCorrectAndSilenceLosesThemOnce) {
  Online();
  RunSeconds(10);
  EXPECT_EQ(Events(loggedP, event::kLinkEstablished), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(Events(loggedP, event::kLinkLost).empty());
  ExpectReceivedCorrect(loggedP, "primary");
  ExpectReceivedCorrect(loggedS, "secondary");
  const auto sent = [](const std::vector<TLogEntry>& log) {
    return std::count_if(log.begin(), log.end(), [](const TLogEntry& e) {
      return e.frameKind != kFrameEvent && e.channel == 2;
    });
  };
  // Reset and identification of each address, then one poll per poll cycle
  // (600 ms), each answered.
  EXPECT_GE(sent(loggedP), 6 + 10000 / 600);
  EXPECT_GE(sent(loggedS), sent(loggedP) - 1);

  line.SetSilent(1, true);
  loggedP.clear();
  RunSeconds(15);
  auto lost = Events(loggedP, event::kLinkLost);
  std::sort(lost.begin(), lost.end());
  EXPECT_EQ(lost, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace kivo
