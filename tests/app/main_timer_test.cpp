#include "app/main_timer.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/startup.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class RecordingEvents : public AppEvents {
 public:
  int applied = 0;
  int refreshed = 0;
  std::vector<int> minutes;
  void OnlineStateApplied() override { ++applied; }
  void RefreshLogView() override { ++refreshed; }
  void MinutePassed(const LocalTime& t) override { minutes.push_back(t.hour * 60 + t.minute); }
};

class MainTimerTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
  RecordingEvents events;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.events = &events;
    CreateMainState(instance, {});
  }
  void Run(int ticks, std::uint32_t msPerTick) {
    for (int i = 0; i < ticks; ++i) {
      OnTimerTick(instance);
      fake.clock.Advance(msPerTick);
    }
  }
};

TEST(TickMeasurement, IsClampedTo45To70) {
  EXPECT_EQ(MeasuredMsPerTick(256 * 54), 54u);
  EXPECT_EQ(MeasuredMsPerTick(256 * 54 + 127), 54u);
  EXPECT_EQ(MeasuredMsPerTick(256 * 54 + 128), 55u);
  EXPECT_EQ(MeasuredMsPerTick(0), 45u);
  EXPECT_EQ(MeasuredMsPerTick(256 * 10), 45u);
  EXPECT_EQ(MeasuredMsPerTick(256 * 500), 70u);
  EXPECT_EQ(MeasuredMsPerTick(0xFFFFFFFF), 70u);
}

TEST_F(MainTimerTest, MeasuresTheTickLengthEvery256Ticks) {
  EXPECT_EQ(instance.timeBase.msPerTick, 60u);
  Run(257, 54);
  EXPECT_EQ(instance.timeBase.msPerTick, 54u);
  Run(256, 20);
  EXPECT_EQ(instance.timeBase.msPerTick, 45u);
  Run(256, 200);
  EXPECT_EQ(instance.timeBase.msPerTick, 70u);
}

TEST_F(MainTimerTest, ClockGoingBackKeepsTheLastMeasurement) {
  Run(257, 54);
  fake.clock.ShiftTimeOfDay(-3'600'000);
  Run(256, 54);
  EXPECT_EQ(instance.timeBase.msPerTick, 54u);
}

TEST_F(MainTimerTest, EveryTickRefreshesTheLogView) {
  Run(10, 54);
  EXPECT_EQ(events.refreshed, 10);
  EXPECT_EQ(instance.timeBase.tickCounter, 10u);
}

TEST_F(MainTimerTest, GoingOnlineWithoutPortNumbersStaysOffline) {
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1137));
  EXPECT_GE(events.applied, 1);
}

TEST_F(MainTimerTest, OnlineToggleSwitchesBothWays) {
  instance.ports[1].params.portNumber = 3;
  ToggleOnline(instance);
  EXPECT_TRUE(instance.Online());
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_TRUE(fake.prompter.messages.empty());
}

TEST_F(MainTimerTest, FailedLogWriteGoesOfflineAtTheNext32TickCheck) {
  instance.ports[0].params.portNumber = 1;
  GoOnline(instance);
  Run(3, 54);  // ticks 0..2
  instance.app.logWriteFailed = true;
  Run(1, 54);  // the counter becomes 4: no check yet
  EXPECT_TRUE(instance.Online());
  Run(1, 54);  // the counter becomes 5: the check
  EXPECT_FALSE(instance.Online());
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1202));
}

TEST_F(MainTimerTest, MinuteWorkRunsOncePerMinuteWhileArmedAndOnline) {
  instance.ports[0].params.portNumber = 1;
  GoOnline(instance);
  instance.send.Telegram(1).trigger = kTriggerHourly;
  instance.app.timedSendArmed = true;
  // The virtual clock starts at 08:00:00; run a little over three minutes.
  Run(3 * 60 * 1000 / 54 + 40, 54);
  EXPECT_EQ(events.minutes, (std::vector<int>{8 * 60 + 1, 8 * 60 + 2, 8 * 60 + 3}));
}

TEST_F(MainTimerTest, TheDailyLogChangesAtMidnight) {
  instance.settings.options[kOptionDailyLog] = 1;
  instance.ports[0].params.portNumber = 1;
  GoOnline(instance);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  // From 08:00 on Monday the 5th to two minutes before midnight.
  fake.clock.Advance((16 * 60 - 2) * 60 * 1000);
  Run(60 * 1000 / 54, 54);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  instance.settings.onlineDisplay = 0;
  Run(2 * 60 * 1000 / 54, 54);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog06.kvl");
  EXPECT_TRUE(instance.logStore.IsOpen());
  EXPECT_EQ(instance.settings.onlineDisplay, 1);
}

TEST_F(MainTimerTest, NoMinuteWorkWhileOffline) {
  instance.app.timedSendArmed = true;
  Run(2 * 60 * 1000 / 54, 54);
  EXPECT_TRUE(events.minutes.empty());
}

}  // namespace
}  // namespace kivo
