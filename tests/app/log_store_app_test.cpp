// The log store inside a running program: going online and offline, a page
// that cannot be read, the end of the run.
#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/shutdown.h"
#include "app/startup.h"
#include "log/log_store_fixture.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class LogStoreInInstance : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    CreateMainState(instance, {});
    instance.ports[0].params.portNumber = 1;
    // The start-up opened the standard log: a new one, never flushed yet.
    ASSERT_TRUE(instance.logStore.IsOpen());
    ASSERT_EQ(instance.logStore.FileName(), instance.app.logFileName);
  }
  std::uint32_t HeaderSizeOnDisk() {
    const std::string bytes = testing::ReadFile(instance.app.logFileName);
    return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 8);
  }
};

TEST_F(LogStoreInInstance, GoingOfflineFlushesTheLogAndOnlineClearsTheCounters) {
  GoOnline(instance);
  instance.logStore.Append(testing::Telegram(9, 3, 5));
  EXPECT_EQ(instance.logStore.Counters()[2].errors, 1u);
  EXPECT_EQ(HeaderSizeOnDisk(), 2128u);
  GoOffline(instance);
  EXPECT_EQ(HeaderSizeOnDisk(), 2000u);
  GoOnline(instance);
  EXPECT_EQ(instance.logStore.Counters()[2].telegrams, 0u);
}

TEST_F(LogStoreInInstance, GoingOnlineSwitchesToTheLogOfTheDayWithTheDailyOption) {
  instance.settings.options[kOptionDailyLog] = 1;
  GoOnline(instance);
  // The virtual clock stands on the 5th of the month.
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog05.kvl");
  EXPECT_EQ(instance.app.logFileName, instance.logStore.FileName());
  GoOffline(instance);
  instance.settings.options[kOptionDailyLog] = 0;
  GoOnline(instance);
  EXPECT_EQ(instance.logStore.FileName(), instance.dataDirectory + "KivoLog.kvl");
}

TEST_F(LogStoreInInstance, UnreadablePageIsReportedByText1203) {
  instance.logStore.Append(testing::Telegram(9));
  instance.logStore.OpenReader();
  EXPECT_TRUE(fake.prompter.messages.empty());
  instance.logStore.SeekPage(5, false);  // never written: beyond the end of the file
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1203));
}

TEST_F(LogStoreInInstance, FailedLogWriteTakesTheLinkOfflineOnce) {
  // A log named on the command line stays when going online, even one that
  // cannot be written.
  instance.app.fixedLogName = true;
  instance.logStore.CreateLog(fake.scratch.path() + "missing/KivoLog.kvl");
  GoOnline(instance);
  for (int tick = 0; tick < 40; ++tick) OnTimerTick(instance);
  EXPECT_FALSE(instance.Online());
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1202));
  EXPECT_FALSE(instance.app.logWriteFailed);
}

TEST_F(LogStoreInInstance, EndOfRunClosesTheLog) {
  instance.logStore.Append(testing::Telegram(9));
  FinishRun(instance);
  EXPECT_FALSE(instance.logStore.IsOpen());
  EXPECT_EQ(HeaderSizeOnDisk(), 2000u);
}

}  // namespace
}  // namespace kivo
