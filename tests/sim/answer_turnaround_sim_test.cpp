// The answer arrives while the primary's step still waits out the character
// time of its request; the step that answer posts must run when that step
// ends, not a timer tick later.
#include <gtest/gtest.h>

#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using AnswerTurnaroundSimTest = testing::LineTest;

TEST_F(AnswerTurnaroundSimTest, PrimaryPollsAgainWithinTheTickOfTheAnswer) {
  Addresses({1});
  for (PortRecord* port : {&pport, &sport}) {
    port->params.baud = 9600;
    port->params.pollCycle = 0;  // poll again as soon as the answer is in
  }
  Online();
  constexpr int kTicks = 40;
  for (int i = 0; i < kTicks; ++i) Tick();
  ExpectReceivedCorrect(loggedP, "primary");
  const auto count = [&](int channel) {
    return std::count_if(loggedP.begin(), loggedP.end(), [&](const TLogEntry& e) {
      return e.frameKind != kFrameEvent && e.channel == channel;
    });
  };
  // A poll and its answer take about 8 ms at 9600 baud; a primary that went
  // on only at the next tick of 54 ms would manage one per tick.
  EXPECT_GE(count(2), 3 * kTicks) << "answers " << count(1);
  EXPECT_GE(count(1), count(2) - 1);
}

}  // namespace
}  // namespace kivo
