// The main timer: the measured tick, going online and offline, the check of
// failed log writes, the minute work and the daily log.
#include "app/main_timer.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"

namespace kivo {
namespace {

class RecordingEvents : public AppEvents {
 public:
  int applied = 0, refreshed = 0;
  std::vector<int> minutes;
  void OnlineStateApplied() override { ++applied; }
  void RefreshLogView() override { ++refreshed; }
  void MinutePassed(const LocalTime& t) override { minutes.push_back(t.hour * 60 + t.minute); }
};

class MainTimerTest : public testing::AppTest {
 protected:
  RecordingEvents events;

  void SetUp() override {
    Start();
    instance.events = &events;
  }
  void Run(int ticks, std::uint32_t msPerTick = 54) {
    for (int i = 0; i < ticks; ++i) {
      OnTimerTick(instance);
      fake.clock.Advance(msPerTick);
    }
  }
  void OnlineOnPortOne() {
    instance.ports[0].params.portNumber = 1;
    GoOnline(instance);
  }
};

TEST(TickMeasurement, IsRoundedAndClampedTo45To70) {
  const std::uint32_t cases[][2] = {{256 * 54, 54},  {256 * 54 + 127, 54}, {256 * 54 + 128, 55},
                                    {0, 45},         {256 * 10, 45},       {256 * 500, 70},
                                    {0xFFFFFFFF, 70}};
  for (const auto& c : cases) EXPECT_EQ(MeasuredMsPerTick(c[0]), c[1]) << c[0];
}

TEST_F(MainTimerTest, MeasuresTheTickEvery256TicksAndRefreshesTheViewEveryTick) {
  EXPECT_EQ(instance.timeBase.msPerTick, 60u);
  Run(257);
  EXPECT_EQ(instance.timeBase.msPerTick, 54u);
  EXPECT_EQ(events.refreshed, 257);
  EXPECT_EQ(instance.timeBase.tickCounter, 257u);
  fake.clock.ShiftTimeOfDay(-3'600'000);  // the clock going back keeps the last measurement
  Run(256);
  EXPECT_EQ(instance.timeBase.msPerTick, 54u);
  Run(256, 20);
  EXPECT_EQ(instance.timeBase.msPerTick, 45u);
  Run(256, 200);
  EXPECT_EQ(instance.timeBase.msPerTick, 70u);
}

TEST_F(MainTimerTest, OnlineToggleNeedsAPortNumber) {
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1137)});
  EXPECT_GE(events.applied, 1);
  fake.prompter.messages.clear();
  instance.ports[1].params.portNumber = 3;
  ToggleOnline(instance);
  EXPECT_TRUE(instance.Online());
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(MainTimerTest, FailedLogWriteGoesOfflineAtTheNext32TickCheck) {
  OnlineOnPortOne();
  Run(3);  // ticks 0..2
  instance.app.logWriteFailed = true;
  Run(1);  // the counter becomes 4: no check yet
  EXPECT_TRUE(instance.Online());
  Run(1);  // the counter becomes 5: the check
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1202)});
  EXPECT_FALSE(instance.app.logWriteFailed);
}

TEST_F(MainTimerTest, MinuteWorkRunsOncePerMinuteOnlyWhileArmedAndOnline) {
  OnlineOnPortOne();
  instance.send.Telegram(1).trigger = kTriggerHourly;
  instance.app.timedSendArmed = true;
  // The virtual clock starts at 08:00:00; run a little over three minutes.
  Run(3 * 60 * 1000 / 54 + 40);
  const std::vector<int> minutes = {8 * 60 + 1, 8 * 60 + 2, 8 * 60 + 3};
  EXPECT_EQ(events.minutes, minutes);
  GoOffline(instance);
  instance.app.timedSendArmed = true;
  Run(2 * 60 * 1000 / 54);
  EXPECT_EQ(events.minutes, minutes);
}

TEST_F(MainTimerTest, TheDailyLogChangesAtMidnight) {
  instance.settings.options[kOptionDailyLog] = 1;
  OnlineOnPortOne();
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  // From 08:00 on Monday the 5th to two minutes before midnight.
  fake.clock.Advance((16 * 60 - 2) * 60 * 1000);
  Run(60 * 1000 / 54);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  instance.settings.onlineDisplay = 0;
  Run(2 * 60 * 1000 / 54);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog06.kvl");
  EXPECT_TRUE(instance.logStore.IsOpen());
  EXPECT_EQ(instance.settings.onlineDisplay, 1);
}

}  // namespace
}  // namespace kivo
