// The log inside a running program: the operator opening another log, going
// online and offline, a page that cannot be read, the end of the run.
#include "app/log_commands.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/shutdown.h"
#include "log/log_store_fixture.h"

namespace kivo {
namespace {

using testing::Telegram;

class LogInInstance : public testing::AppTest {
 protected:
  LogStore& log = instance.logStore;
  void SetUp() override {
    Start();
    instance.ports[0].params.portNumber = 1;
  }
  std::uint32_t HeaderSizeOnDisk() {
    const std::string bytes = testing::ReadFile(instance.app.logFileName);
    return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 8);
  }
};

TEST_F(LogInInstance, ForeignFileIsLeftAloneAndTheCurrentLogStays) {
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

TEST_F(LogInInstance, AnotherLogBecomesCurrentAfterAskingWhileOnline) {
  const std::string other = fake.scratch.path() + "other.kvl";
  log.CloseLog();
  ASSERT_TRUE(log.CreateLog(other));
  log.Append(Telegram(9));
  log.Append(Telegram(9));
  log.CloseLog();
  ASSERT_TRUE(log.OpenLog(instance.app.logFileName, false, LogOpenMode::ReplaceUnusable));
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

TEST_F(LogInInstance, OfflineFlushesOnlineClearsTheCountersAndTheEndClosesTheLog) {
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

TEST_F(LogInInstance, GoingOnlineSwitchesToTheLogOfTheDayWithTheDailyOption) {
  instance.settings.options[kOptionDailyLog] = 1;
  GoOnline(instance);
  // The virtual clock stands on the 5th of the month.
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  EXPECT_EQ(instance.app.logFileName, log.FileName());
  GoOffline(instance);
  instance.settings.options[kOptionDailyLog] = 0;
  GoOnline(instance);
  EXPECT_EQ(log.FileName(), instance.dataDirectory + "KivoLog.kvl");
}

TEST_F(LogInInstance, UnreadablePageIsReportedByText1203) {
  log.Append(Telegram(9));
  log.OpenReader();
  EXPECT_TRUE(Messages().empty());
  log.SeekPage(5, false);  // never written: beyond the end of the file
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1203)});
}

TEST_F(LogInInstance, FailedLogWriteTakesTheLinkOfflineOnce) {
  // A log named on the command line stays when going online, even one that
  // cannot be written.
  instance.app.fixedLogName = true;
  log.CreateLog(fake.scratch.path() + "missing/KivoLog.kvl");
  GoOnline(instance);
  for (int tick = 0; tick < 40; ++tick) OnTimerTick(instance);
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1202)});
  EXPECT_FALSE(instance.app.logWriteFailed);
}

}  // namespace
}  // namespace kivo
