// A primary and a secondary Instance on the simulated line, with the
// character timing of the baud rate: the links of three addresses come up
// and stay up, and every frame one side sends the other logs as correct.
#include <gtest/gtest.h>

#include <set>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/serial_path.h"
#include "platform/sim/simulated_line.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class SimulatedLineLinkTest : public ::testing::Test {
 protected:
  FakePlatform fakeP;
  FakePlatform fakeS;
  VirtualClock& clock = fakeP.clock;
  SimulatedLine line{clock};
  SimulatedPortEnumerator portsP;
  SimulatedPortEnumerator portsS;
  Instance primary{Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter,
                            &portsP, &clock}};
  Instance secondary{Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter,
                              &portsS, &clock}};
  std::vector<TLogEntry> loggedP, loggedS;

  void SetUp() override {
    portsP.Bind(1, line, 0);
    portsS.Bind(1, line, 1);
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      CreateMainState(*instance, {});
      PortParams& p = instance->ports[0].params;
      p.portNumber = 1;
      p.function = instance == &primary ? PortFunction::Primary : PortFunction::Secondary;
      p.addressCount = 3;
      const std::uint8_t list[] = {1, 2, 3, 255};
      std::copy(std::begin(list), std::end(list), p.addresses.begin());
    }
    primary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedP.push_back(e);
      return true;
    };
    secondary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedS.push_back(e);
      return true;
    };
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(primary.ports[0].open);
    ASSERT_TRUE(secondary.ports[0].open);
  }

  void RunSeconds(int seconds) {
    for (std::uint32_t ms = 0; ms < static_cast<std::uint32_t>(seconds) * 1000;
         ms += kTimerIntervalMs) {
      OnTimerTick(secondary);
      OnTimerTick(primary);
      clock.Advance(kTimerIntervalMs);
    }
  }
};

TEST_F(SimulatedLineLinkTest, ThreeLinksComeUpAndEveryFrameArrivesCorrect) {
  RunSeconds(10);
  std::set<int> established, lost;
  int sentByPrimary = 0, sentBySecondary = 0;
  for (const TLogEntry& e : loggedP) {
    if (e.frameKind == kFrameEvent && e.status == 45) established.insert(e.linkAddress);
    if (e.frameKind == kFrameEvent && e.status == 32) lost.insert(e.linkAddress);
    if (e.frameKind != kFrameEvent && e.channel == 2) ++sentByPrimary;
    if (e.frameKind != kFrameEvent && e.channel == 1) {
      EXPECT_EQ(e.status, 40) << e.seqNo;
    }
  }
  for (const TLogEntry& e : loggedS) {
    if (e.frameKind != kFrameEvent && e.channel == 2) ++sentBySecondary;
    if (e.frameKind != kFrameEvent && e.channel == 1) {
      EXPECT_EQ(e.status, 40) << e.seqNo;
    }
  }
  EXPECT_EQ(established, (std::set<int>{1, 2, 3}));
  EXPECT_TRUE(lost.empty());
  // Start-up (reset and identification of each address), then one poll every
  // poll cycle (600 ms), each answered.
  EXPECT_GE(sentByPrimary, 6 + 10000 / 600);
  EXPECT_GE(sentBySecondary, sentByPrimary - 1);
}

TEST_F(SimulatedLineLinkTest, SilentSecondaryLosesTheLinksOnce) {
  RunSeconds(3);
  line.SetSilent(1, true);
  loggedP.clear();
  RunSeconds(15);
  std::multiset<int> lost;
  for (const TLogEntry& e : loggedP) {
    if (e.frameKind == kFrameEvent && e.status == 32) lost.insert(e.linkAddress);
  }
  EXPECT_EQ(lost, (std::multiset<int>{1, 2, 3}));
}

}  // namespace
}  // namespace kivo
