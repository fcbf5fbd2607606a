// How soon a primary on the simulated line goes on after an answer. The
// answer arrives while the primary's step still waits out the character time
// of its request; the step that answer posts must run when that step ends,
// not a timer tick later.
#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/serial_path.h"
#include "platform/sim/simulated_line.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class AnswerTurnaroundSimTest : public ::testing::Test {
 protected:
  FakePlatform fakeP;
  FakePlatform fakeS;
  VirtualClock& clock = fakeP.clock;
  SimulatedLine line{clock};
  SimulatedPortEnumerator portsP;
  SimulatedPortEnumerator portsS;
  Instance primary{
      Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter, &portsP, &clock}};
  Instance secondary{
      Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter, &portsS, &clock}};
  int requests = 0;
  int answers = 0;

  void SetUp() override {
    portsP.Bind(1, line, 0);
    portsS.Bind(1, line, 1);
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      CreateMainState(*instance, {});
      PortParams& p = instance->ports[0].params;
      p.portNumber = 1;
      p.function = instance == &primary ? PortFunction::Primary : PortFunction::Secondary;
      p.baud = 9600;
      p.pollCycle = 0;  // poll again as soon as the answer is in
      p.addressCount = 1;
      p.addresses[0] = 1;
      p.addresses[1] = PortParams::kAddressEnd;
    }
    primary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      if (e.frameKind != kFrameEvent && e.channel == primary.ports[0].transmitChannel) ++requests;
      if (e.frameKind != kFrameEvent && e.channel == primary.ports[0].receiveChannel) {
        EXPECT_EQ(e.status, 40) << e.seqNo;
        ++answers;
      }
      return true;
    };
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(primary.ports[0].open);
    ASSERT_TRUE(secondary.ports[0].open);
  }
};

TEST_F(AnswerTurnaroundSimTest, PrimaryPollsAgainWithinTheTickOfTheAnswer) {
  constexpr int kTicks = 40;
  for (int i = 0; i < kTicks; ++i) {
    OnTimerTick(secondary);
    OnTimerTick(primary);
    clock.Advance(kTimerIntervalMs);
  }
  // A poll (5 octets) and its answer take about 8 ms at 9600 baud, so a
  // tick of 54 ms holds several; a primary that only went on at the next
  // tick would manage one.
  EXPECT_GE(requests, 3 * kTicks) << "answers " << answers;
  EXPECT_GE(answers, requests - 1);
}

}  // namespace
}  // namespace kivo
