// The operator's commands on the log: saving it under another name, clearing
// it, and opening a log that another program is writing.
#include "app/log_commands.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/recent_files.h"
#include "log/log_store_fixture.h"
#include "util/file_io.h"

namespace kivo {
namespace {

using testing::Telegram;

class DisplayEvents : public AppEvents {
 public:
  std::vector<std::string> shown;
  void ShowLogDisplay() override { shown.push_back("log"); }
  void ShowOnlineDisplay() override { shown.push_back("online"); }
};

class LogCommandsTest : public testing::AppTest {
 protected:
  DisplayEvents events;
  LogStore& log = instance.logStore;

  void SetUp() override {
    Start();
    ASSERT_TRUE(ReloadTexts(instance, 1));
    instance.events = &events;
    instance.ports[0].params.portNumber = 1;
  }
  std::string Scratch(const std::string& name) const { return fake.scratch.path() + name; }
  // The sequence numbers from the newest entry back to the oldest.
  std::vector<std::uint32_t> WalkBack(LogStore& store) {
    std::vector<std::uint32_t> numbers;
    store.CloseReader();
    store.OpenReader();
    if (store.CurrentEntry().length == 0) return numbers;
    do {
      numbers.push_back(store.CurrentEntry().seqNo);
    } while (store.StepBack());
    return numbers;
  }
  static bool Consecutive(const std::vector<std::uint32_t>& newestFirst) {
    for (std::size_t i = 1; i < newestFirst.size(); ++i) {
      if (newestFirst[i] + 1 != newestFirst[i - 1]) return false;
    }
    return true;
  }
};

TEST_F(LogCommandsTest, SaveAsAsksWhileOnlineCopiesTheLogAndKeepsItCurrent) {
  GoOnline(instance);
  for (int i = 0; i < 3; ++i) log.Append(Telegram(20));
  const std::string standard = log.FileName();
  const std::string copy = Scratch("copy.lg3");

  fake.prompter.answers = {MessageResult::No};
  EXPECT_FALSE(SaveChosenLogAs(instance, copy));
  EXPECT_TRUE(instance.Online());
  EXPECT_FALSE(FileExists(copy));

  fake.prompter.answers = {MessageResult::Yes};
  ASSERT_TRUE(SaveChosenLogAs(instance, copy));
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Messages(), (std::vector<std::string>{T(1204), T(1204)}));
  EXPECT_EQ(testing::ReadFile(copy), testing::ReadFile(standard));
  EXPECT_EQ(log.FileName(), standard);
  EXPECT_TRUE(log.ReaderOpen());
  // The reader stands at the end: port opened, three telegrams, port closed.
  EXPECT_EQ(log.CurrentEntry().seqNo, 5u);
  EXPECT_EQ(RecentFiles(instance), std::vector<std::string>{copy});
  EXPECT_EQ(events.shown, std::vector<std::string>{"log"});
  // New entries still go to the current log, not to the copy.
  log.Append(Telegram(20));
  log.FlushLog();
  EXPECT_NE(testing::ReadFile(copy), testing::ReadFile(standard));

  // A folder that is not there: reported, and the current log goes on.
  fake.prompter.messages.clear();
  const std::string nowhere = Scratch("missing/copy.lg3");
  EXPECT_FALSE(SaveChosenLogAs(instance, nowhere));
  EXPECT_EQ(Messages(), std::vector<std::string>{FormatText(instance, 1438, nowhere)});
  EXPECT_EQ(log.FileName(), standard);
  EXPECT_EQ(WalkBack(log), (std::vector<std::uint32_t>{6, 5, 4, 3, 2, 1}));
  // Saving the log as itself changes nothing.
  EXPECT_TRUE(SaveChosenLogAs(instance, standard));
  EXPECT_EQ(WalkBack(log).size(), 6u);
}

TEST_F(LogCommandsTest, DeleteAsksWithTheFileNameAndYesClearsTheLog) {
  for (int i = 0; i < 5; ++i) log.Append(Telegram(20));
  EXPECT_FALSE(DeleteCurrentLog(instance));  // No
  EXPECT_EQ(Messages(), std::vector<std::string>{"Delete the log KivoLog.lg3?"});
  EXPECT_EQ(WalkBack(log).size(), 5u);
  fake.prompter.answers = {MessageResult::Yes};
  ASSERT_TRUE(DeleteCurrentLog(instance));
  EXPECT_TRUE(WalkBack(log).empty());
  EXPECT_EQ(FileSize(log.FileName()), 2128);
  log.Append(Telegram(20));
  EXPECT_EQ(log.Index().lastSeqNo, 1u);
  EXPECT_EQ(events.shown, std::vector<std::string>{"log"});
}

// Another program (here a second store) writes a log while this one has it
// open: this one reads what the file holds, always a chain of consecutive
// entries, and never writes a byte of it.
TEST_F(LogCommandsTest, ALogAnotherProgramWritesIsReadAndNeverWritten) {
  testing::StoreRig writer;
  const std::string shared = Scratch("shared.lg3");
  ASSERT_TRUE(writer.store.CreateLog(shared));
  writer.Fill(700);  // one full page on disk, the rest in the writer's memory
  writer.store.FlushLog();

  ASSERT_TRUE(OpenChosenLog(instance, shared));
  EXPECT_TRUE(log.IsReadOnly());
  EXPECT_EQ(events.shown, std::vector<std::string>{"log"});
  const std::vector<std::uint32_t> seen = WalkBack(log);
  ASSERT_EQ(seen.size(), 700u);
  EXPECT_TRUE(Consecutive(seen));

  // The writer goes on over further pages while the reader walks the log.
  writer.Fill(1500);
  const std::vector<std::uint32_t> later = WalkBack(log);
  EXPECT_FALSE(later.empty());
  EXPECT_TRUE(Consecutive(later));
  EXPECT_EQ(later.back(), 1u);

  // Neither clearing nor closing nor saving another log over it writes it.
  const std::string before = testing::ReadFile(shared);
  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_FALSE(DeleteCurrentLog(instance));
  EXPECT_EQ(Messages().back(), FormatText(instance, 1437, shared));
  log.Append(Telegram(20));
  ASSERT_TRUE(OpenChosenLog(instance, Scratch("mine.lg3")));
  log.Append(Telegram(20));
  EXPECT_FALSE(SaveChosenLogAs(instance, shared));
  EXPECT_EQ(Messages().back(), FormatText(instance, 1437, shared));
  EXPECT_EQ(testing::ReadFile(shared), before);

  // The writer's log is whole: every entry it wrote, in one chain.
  writer.Fill(10);
  ASSERT_TRUE(writer.store.CloseLog());
  testing::StoreRig check;
  ASSERT_TRUE(check.store.OpenLog(shared, false, LogOpenMode::ReadOnly));
  const std::vector<std::uint32_t> all = WalkBack(check.store);
  ASSERT_EQ(all.size(), 2210u);
  EXPECT_EQ(all.front(), 2210u);
  EXPECT_TRUE(Consecutive(all));
}

}  // namespace
}  // namespace kivo
