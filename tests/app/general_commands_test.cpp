// The operator's change of the general parameters: what it asks, when it
// goes offline, the log of another size, and the files moved to another
// data directory; and the check of a directory field.
#include "app/general_commands.h"

#include <gtest/gtest.h>

#include "app/data_directory.h"
#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "log/log_filter.h"
#include "log/log_store_fixture.h"
#include "util/file_io.h"

namespace kivo {
namespace {

class GeneralCommandsTest : public testing::AppTest {
 protected:
  void SetUp() override {
    Start();
    ASSERT_TRUE(ReloadTexts(instance, 1));
    instance.ports[0].params.portNumber = 1;
  }
  void Answer(std::initializer_list<MessageResult> answers) {
    fake.prompter.answers.assign(answers.begin(), answers.end());
  }
  std::uint32_t LogPages() const { return instance.logStore.Index().pageCount; }
};

TEST_F(GeneralCommandsTest, WhatAChangeAsksAndWhetherItGoesOffline) {
  const struct {
    const char* what;
    void (*change)(GeneralParams&);
    std::vector<MessageResult> answers;
    std::vector<int> asked;  // message texts in order
    GeneralOutcome outcome;
    bool online;       // still online afterwards
    bool takesChange;  // the record took the change
    bool newLogPages;  // the log was started anew with the new size
  } table[] = {
      {"focus only",
       [](GeneralParams& g) { g.focusIndex = 3; },
       {},
       {},
       GeneralOutcome::Unchanged,
       true,
       true,
       false},
      {"summer time alone",
       [](GeneralParams& g) { g.summerTime = 1; },
       {},
       {},
       GeneralOutcome::Stored,
       true,
       true,
       false},
      {"100 % value, refused",
       [](GeneralParams& g) { g.measurand100 = 4096; },
       {MessageResult::No},
       {1204},
       GeneralOutcome::Refused,
       true,
       false,
       false},
      {"100 % value",
       [](GeneralParams& g) { g.measurand100 = 4096; },
       {MessageResult::Yes},
       {1204},
       GeneralOutcome::Applied,
       false,
       true,
       false},
      {"log size, new log",
       [](GeneralParams& g) { g.logSize = 3; },
       {MessageResult::Yes, MessageResult::Yes},
       {1204, 1328},
       GeneralOutcome::Applied,
       false,
       true,
       true},
      {"log size, old kept",
       [](GeneralParams& g) { g.logSize = 3; },
       {MessageResult::Yes, MessageResult::No},
       {1204, 1328},
       GeneralOutcome::Applied,
       false,
       false,
       false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    GoOnline(instance);
    ASSERT_TRUE(instance.Online());
    instance.general = GeneralParams{};
    instance.general.focusIndex = 1;
    const std::uint32_t pagesBefore = LogPages();
    instance.send.Telegram(2).sendState = kSendDue;
    fake.prompter.messages.clear();
    fake.prompter.answers.assign(row.answers.begin(), row.answers.end());
    GeneralParams edited = instance.general;
    edited.focusIndex = 5;
    row.change(edited);
    if (std::string(row.what) == "focus only") edited.focusIndex = 3;
    EXPECT_EQ(ApplyGeneralParams(instance, edited, instance.dataDirectory), row.outcome);
    std::vector<std::string> asked;
    for (int text : row.asked) asked.push_back(instance.texts.Text(text));
    EXPECT_EQ(fake.prompter.messages, asked);
    EXPECT_EQ(instance.Online(), row.online);
    EXPECT_EQ(instance.general.focusIndex, edited.focusIndex);  // kept in any case
    GeneralParams expected = edited;
    if (!row.takesChange) {
      expected = GeneralParams{};
      expected.focusIndex = edited.focusIndex;
      if (row.outcome == GeneralOutcome::Applied) {
        expected = edited;
        expected.logSize = GeneralParams{}.logSize;
      }
    }
    if (row.outcome == GeneralOutcome::Applied) {
      Normalise(expected.displayFilter);
      Normalise(expected.logFilter);
      EXPECT_EQ(instance.send.Telegram(2).sendState, kSendIdle);  // sending started afresh
    }
    EXPECT_EQ(instance.general, expected);
    EXPECT_EQ(LogPages() != pagesBefore, row.newLogPages);
  }
}

TEST_F(GeneralCommandsTest, AnotherDataDirectoryTakesCopiesOfTheFilesAndTheSettings) {
  ASSERT_TRUE(instance.logStore.Append(testing::Telegram(20)));
  instance.logStore.FlushLog();
  const std::vector<std::uint8_t> sendFile(16, 0x5A);
  ASSERT_TRUE(ReplaceFile(instance.app.sendTelegramFileName, sendFile));
  const std::string oldLog = instance.app.logFileName;
  const std::uint32_t lastEntry = instance.logStore.Index().lastSeqNo;
  std::string target = fake.scratch.path() + "bay7/kivo";
  Answer({MessageResult::No});
  EXPECT_FALSE(CheckDataDirectory(instance, target));  // not created without Yes
  Answer({MessageResult::Yes});
  ASSERT_TRUE(CheckDataDirectory(instance, target));
  EXPECT_EQ(target, fake.scratch.path() + "bay7/kivo/");

  EXPECT_EQ(ApplyGeneralParams(instance, instance.general, target), GeneralOutcome::Applied);
  EXPECT_EQ(instance.dataDirectory, target);
  EXPECT_EQ(instance.app.logFileName, target + FileNameOf(oldLog));
  EXPECT_EQ(instance.logStore.FileName(), instance.app.logFileName);
  EXPECT_EQ(instance.logStore.Index().lastSeqNo, lastEntry);  // the same log, copied
  EXPECT_TRUE(FileExists(oldLog));                            // and the old one kept
  std::vector<std::uint8_t> copied(16);
  EXPECT_TRUE(ReadExactly(instance.app.sendTelegramFileName, 0, copied));
  EXPECT_EQ(copied, sendFile);
  EXPECT_TRUE(FileExists(SettingsFileName(instance)));
  EXPECT_EQ(fake.registry.ReadString(kRegistryKey, kRegistryDataDirectory), target);

  // Fields that cannot be a data directory.
  std::string file = instance.app.sendTelegramFileName;
  std::string tooLong(kMostDataDirectoryLength + 1, 'x');
  std::string empty;
  for (std::string* bad : {&file, &tooLong, &empty}) {
    Answer({MessageResult::Yes});
    EXPECT_FALSE(CheckDataDirectory(instance, *bad)) << *bad;
  }
}

}  // namespace
}  // namespace kivo
