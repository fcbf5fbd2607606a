#include "app/log_commands.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using testing::ReadFile;
using testing::WriteFile;

class OpenChosenLogTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
  }
  TLogEntry Event() {
    TLogEntry e;
    e.status = 48;
    e.frameKind = kFrameEvent;
    e.channel = 2;
    return e;
  }
};

TEST_F(OpenChosenLogTest, ForeignFileIsLeftAloneAndTheCurrentLogStays) {
  const std::string standard = instance.app.logFileName;
  instance.logStore.Append(Event());
  const std::string foreign = fake.scratch.path() + "notes.kvl";
  WriteFile(foreign, "my notes, not a log");
  EXPECT_FALSE(OpenChosenLog(instance, foreign));
  EXPECT_EQ(ReadFile(foreign), "my notes, not a log");
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0],
            "notes.kvl is not a log file of this program; the current log stays open.");
  EXPECT_EQ(instance.logStore.FileName(), standard);
  EXPECT_EQ(instance.logStore.Index().lastSeqNo, 1u);  // nothing of the log was lost
}

TEST_F(OpenChosenLogTest, AnotherLogBecomesCurrentAndTheNameIsNoLongerFixed) {
  const std::string other = fake.scratch.path() + "other.kvl";
  instance.logStore.CloseLog();
  ASSERT_TRUE(instance.logStore.CreateLog(other));
  instance.logStore.Append(Event());
  instance.logStore.Append(Event());
  instance.logStore.CloseLog();
  ASSERT_TRUE(instance.logStore.OpenLog(instance.app.logFileName, false,
                                        LogOpenMode::ReplaceUnusable));
  instance.app.fixedLogName = true;
  EXPECT_TRUE(OpenChosenLog(instance, other));
  EXPECT_EQ(instance.logStore.FileName(), other);
  EXPECT_EQ(instance.logStore.Index().lastSeqNo, 2u);
  EXPECT_FALSE(instance.app.fixedLogName);
}

TEST_F(OpenChosenLogTest, WhileOnlineTheOperatorIsAskedFirst) {
  instance.ports[0].params.portNumber = 1;
  GoOnline(instance);
  const std::string before = instance.logStore.FileName();
  fake.prompter.answers = {MessageResult::No};
  EXPECT_FALSE(OpenChosenLog(instance, fake.scratch.path() + "x.kvl"));
  EXPECT_TRUE(instance.Online());
  EXPECT_EQ(instance.logStore.FileName(), before);
  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_TRUE(OpenChosenLog(instance, fake.scratch.path() + "x.kvl"));
  EXPECT_FALSE(instance.Online());
}

}  // namespace
}  // namespace kivo
