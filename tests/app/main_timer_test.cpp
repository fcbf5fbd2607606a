// A running instance: the main timer with the measured tick, going online and
// offline, the check of failed log writes, the minute work and the daily log;
// the log inside it as the operator opens another one, and the end of the run.
#include "app/main_timer.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/log_commands.h"
#include "app/messages.h"
#include "app/shutdown.h"
#include "log/log_store_fixture.h"

namespace kivo {
namespace {

using testing::Telegram;

class RecordingEvents : public AppEvents {
 public:
  int applied = 0, refreshed = 0;
  std::vector<int> minutes;
  void OnlineStateApplied() override { ++applied; }
  void RefreshLogView() override { ++refreshed; }
  void MinutePassed(const LocalTime& t) override { minutes.push_back(t.hour * 60 + t.minute); }
};

// Started, with port 1 numbered.
class MainTimerTest : public testing::AppTest {
 protected:
  RecordingEvents events;
  LogStore& log = instance.logStore;

  void SetUp() override {
    Start();
    instance.events = &events;
    instance.ports[0].params.portNumber = 1;
  }
  void Run(int ticks, std::uint32_t msPerTick = 54) {
    for (int i = 0; i < ticks; ++i) {
      OnTimerTick(instance);
      fake.clock.Advance(msPerTick);
    }
  }
  std::uint32_t HeaderSizeOnDisk() {
    const std::string bytes = testing::ReadFile(instance.app.logFileName);
    return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 8);
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
}

TEST_F(MainTimerTest, OnlineToggleNeedsAPortNumber) {
  instance.ports[0].params.portNumber = 0;
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1137)});
  EXPECT_GE(events.applied, 1);
  // A number that names no port: reported, and no port open means offline.
  fake.prompter.messages.clear();
  instance.ports[1].params.portNumber = 3;
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), (std::vector<std::string>{FormatText(instance, 1490, "3"), T(1491)}));
  fake.prompter.messages.clear();
  instance.ports[0].params.portNumber = 1;
  ToggleOnline(instance);
  EXPECT_TRUE(instance.Online());
  EXPECT_TRUE(instance.ports[0].open);
  ToggleOnline(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_FALSE(instance.ports[0].open);
  EXPECT_EQ(Messages(), std::vector<std::string>{FormatText(instance, 1490, "3")});
}

TEST_F(MainTimerTest, FailedLogWriteGoesOfflineOnceAtTheNext32TickCheck) {
  GoOnline(instance);
  Run(3);  // ticks 0..2
  EXPECT_FALSE(log.CreateLog(fake.scratch.path() + "missing/KivoLog.kvl"));
  Run(1);  // the counter becomes 4: no check yet
  EXPECT_TRUE(instance.Online());
  Run(1);  // the counter becomes 5: the check
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1202)});
  EXPECT_FALSE(instance.app.logWriteFailed);  // the failed flush on the way included
  Run(40);
  EXPECT_EQ(Messages().size(), 1u);
}

// The only port goes away: offline, unless it is to be reopened; then the
// program stays online, and the port opens again within a second of the
// device's return. A port not there when going online is awaited alike.
TEST_F(MainTimerTest, AVanishedPortEndsTheOnlineStateUnlessItIsReopened) {
  for (const std::uint8_t reopen : {0, 1}) {
    SCOPED_TRACE(reopen);
    instance.ports[0].params.reopen = reopen;
    GoOnline(instance);
    ASSERT_TRUE(instance.ports[0].open);
    fake.line.Vanish(0);
    Run(40);
    EXPECT_FALSE(instance.ports[0].open);
    EXPECT_EQ(instance.Online(), reopen == 1);
    fake.line.Reappear(0);
    Run(20);  // 1080 ms
    EXPECT_EQ(instance.ports[0].open, reopen == 1);
    GoOffline(instance);
  }
  fake.line.Vanish(0);
  GoOnline(instance);
  EXPECT_TRUE(instance.Online());
  EXPECT_FALSE(instance.ports[0].open);
  fake.line.Reappear(0);
  Run(20);
  EXPECT_TRUE(instance.ports[0].open);
  // Each failure was said once, not at every try.
  EXPECT_EQ(Messages().size(), 3u);
}

TEST_F(MainTimerTest, MinuteWorkRunsOncePerMinuteOnlyWhileArmedAndOnline) {
  GoOnline(instance);
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

TEST_F(MainTimerTest, TheDailyLogChangesAtMidnightAndOnlyWithItsOption) {
  instance.settings.options[kOptionDailyLog] = 1;
  GoOnline(instance);
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog05.lg3");
  // From 08:00 on Monday the 5th to two minutes before midnight.
  fake.clock.Advance((16 * 60 - 2) * 60 * 1000);
  Run(60 * 1000 / 54);
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog05.lg3");
  instance.settings.onlineDisplay = 0;
  Run(2 * 60 * 1000 / 54);
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog06.lg3");
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(instance.settings.onlineDisplay, 1);
  GoOffline(instance);  // without the option: the log of the standard name
  instance.settings.options[kOptionDailyLog] = 0;
  GoOnline(instance);
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog.lg3");
}

TEST_F(MainTimerTest, ForeignFileIsLeftAloneAndTheCurrentLogStays) {
  ASSERT_TRUE(ReloadTexts(instance, 1));
  const std::string standard = instance.app.logFileName;
  log.Append(Telegram(9));
  const std::string foreign = fake.scratch.path() + "notes.kvl";
  testing::WriteFile(foreign, "my notes, not a log");
  EXPECT_FALSE(OpenChosenLog(instance, foreign));
  EXPECT_EQ(testing::ReadFile(foreign), "my notes, not a log");
  EXPECT_EQ(Messages(), std::vector<std::string>{"notes.kvl is not a log file of this program; "
                                                 "the current log stays open."});
  EXPECT_EQ(log.FileName(), standard);
  EXPECT_EQ(log.Index().lastSeqNo, 1u);  // nothing of the log was lost
}

TEST_F(MainTimerTest, AnotherLogBecomesCurrentAfterAskingWhileOnline) {
  const std::string other = fake.scratch.path() + "other.kvl";
  testing::StoreRig rig;
  rig.store.CreateLog(other);
  rig.Fill(2, 9);
  rig.store.CloseLog();
  instance.app.fixedLogName = true;
  GoOnline(instance);
  const std::string before = log.FileName();
  fake.prompter.answers = {MessageResult::No};
  EXPECT_FALSE(OpenChosenLog(instance, other));
  EXPECT_TRUE(instance.Online());
  EXPECT_EQ(log.FileName(), before);
  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_TRUE(OpenChosenLog(instance, other));
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(log.FileName(), other);
  EXPECT_EQ(instance.app.logFileName, other);
  EXPECT_EQ(log.Index().lastSeqNo, 2u);
  EXPECT_FALSE(instance.app.fixedLogName);
  // A name that names no file yet gets a new log.
  EXPECT_TRUE(OpenChosenLog(instance, fake.scratch.path() + "new.kvl"));
}

TEST_F(MainTimerTest, UnreadablePageOfflineFlushOnlineCountersAndTheEndOfTheRun) {
  log.Append(Telegram(9));
  log.OpenReader();
  EXPECT_TRUE(Messages().empty());
  log.SeekPage(5, false);  // never written: beyond the end of the file
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1203)});
  log.CloseReader();
  GoOnline(instance);
  log.Append(Telegram(9, 3, 5));
  EXPECT_EQ(log.Counters()[2].errors, 1u);
  EXPECT_EQ(HeaderSizeOnDisk(), 2128u);
  GoOffline(instance);
  EXPECT_EQ(HeaderSizeOnDisk(), 2000u);
  GoOnline(instance);
  EXPECT_EQ(log.Counters()[2].telegrams, 0u);
  log.Append(Telegram(9));
  FinishRun(instance);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(HeaderSizeOnDisk(), 2000u);
}

}  // namespace
}  // namespace kivo
