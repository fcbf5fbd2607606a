// The Instance's information text file at start-up and when the operator
// loads one.
#include "app/info_texts.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/messages.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using testing::WriteFile;

class InfoTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadTexts(instance.texts, fake.folders.programDirectory, 1).ok());
    instance.dataDirectory = fake.scratch.Sub("data");
  }
  FakePlatform fake;
  Instance instance{fake.Get()};
};

TEST_F(InfoTextsTest, StartUpReadsTheDefaultFileOfTheDataDirectory) {
  WriteFile(instance.dataDirectory + instance.texts.Text(filetext::kInfoTextDefault),
            "1;160;64;0;Trip;\nURS;20;3-5;\n");
  EXPECT_TRUE(LoadStartupInfoTexts(instance));
  EXPECT_EQ(instance.infoTexts.NameByKey(InfoKey(1, 160, 64)), "Trip");
  EXPECT_EQ(instance.settings.causeColours.pairs[20], 0x0503);
  EXPECT_EQ(instance.settings.infoTextFile.Get(),
            instance.dataDirectory + instance.texts.Text(filetext::kInfoTextDefault));
  EXPECT_EQ(InfoTextStatus(instance),
            instance.texts.Text(1192) + instance.texts.Text(filetext::kInfoTextDefault));
}

TEST_F(InfoTextsTest, FailedStartUpLoadClearsTheNameAndKeepsDefaultGroups) {
  instance.settings.infoTextFile.Set(fake.scratch.path() + "gone.kvi");
  instance.app.infoTextFileName = fake.scratch.path() + "gone.kvi";
  EXPECT_FALSE(LoadStartupInfoTexts(instance));
  EXPECT_EQ(instance.settings.infoTextFile.Get(), "");
  EXPECT_EQ(instance.app.infoTextFileName, "");
  EXPECT_EQ(instance.groupNames.Count(), 8);
  EXPECT_TRUE(fake.prompter.messages.empty());
}

TEST_F(InfoTextsTest, OperatorLoadReplacesTheCurrentFileOnlyOnSuccess) {
  const std::string first = fake.scratch.path() + "first.kvi";
  WriteFile(first, "128=Distance;\nbad;line;\n");
  ASSERT_TRUE(LoadInfoTexts(instance, first));
  EXPECT_EQ(instance.groupNames.Name(0), "128=Distance");
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0].rfind(first + ": 1 ", 0), 0u);
  EXPECT_FALSE(LoadInfoTexts(instance, fake.scratch.path() + "missing.kvi"));
  EXPECT_EQ(instance.settings.infoTextFile.Get(), first);
  EXPECT_EQ(instance.groupNames.Name(0), "128=Distance");
}

}  // namespace
}  // namespace kivo
