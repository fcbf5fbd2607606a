// Start-up, the main state built from the settings and the command line, and
// the information text file.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/info_texts.h"
#include "app/main_timer.h"
#include "app/messages.h"

namespace kivo {
namespace {

using testing::WriteFile;
using StartupTest = testing::AppTest;

TEST_F(StartupTest, WithoutLanguageFileTheProgramEndsBeforeClaimingASlot) {
  std::filesystem::remove(fake.folders.programDirectory + "KivoText.ger");
  EXPECT_EQ(StartInstance(instance), StartOutcome::NoTexts);
  EXPECT_TRUE(fake.lock.claimed.empty());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Program text missing/wrong", 0), 0u);

  testing::FakePlatform other;
  other.lock.takenByOthers = {1, 2};
  Instance third(other.Get());
  EXPECT_EQ(StartInstance(third), StartOutcome::NoSlot);  // silently
  EXPECT_TRUE(other.prompter.messages.empty());
}

TEST_F(StartupTest, PortTwoStartsAsPortOneWithItsOwnChannelsAndAddress) {
  Start(false);
  const PortRecord& p1 = instance.ports[0];
  const PortRecord& p2 = instance.ports[1];
  EXPECT_EQ(p1.receiveChannel * 10 + p1.transmitChannel, 12);
  EXPECT_EQ(p2.receiveChannel * 10 + p2.transmitChannel, 34);
  PortParams expected = p1.params;
  expected.addresses[0] = 2;
  EXPECT_EQ(p2.params, expected);
}

TEST_F(StartupTest, LanguageIsReloadedAndABrokenOneFallsBackToTheOther) {
  Start(false);
  const std::string german = T(504);
  ASSERT_TRUE(ReloadTexts(instance, 1));
  EXPECT_NE(T(504), german);
  WriteFile(fake.folders.programDirectory + "KivoText.usa", "0000  ;\n0005  jump\n");
  EXPECT_TRUE(ReloadTexts(instance, 1));
  EXPECT_EQ(T(504), german);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Line number jumps, line:", 0), 0u);
}

TEST_F(StartupTest, CommandLineNamesFilesSwitchesAndTheOnlineState) {
  Start(false);
  const std::string info = fake.scratch.path() + "names.kvi";
  WriteFile(info, "1;160;64;0;Trip L1;\n");
  instance.settings.online = 0;
  const std::string log = fake.scratch.path() + "other.KVL";
  CreateMainState(instance, {log, "-t", "/T2", "mine.kvs", info, T(674)});
  EXPECT_EQ(instance.app.logFileName, log);
  EXPECT_TRUE(instance.app.fixedLogName);
  EXPECT_EQ(instance.app.sendTelegramFileName, "mine.kvs");
  EXPECT_EQ(instance.app.infoTextFileName, info);
  EXPECT_EQ(instance.infoTexts.NameByKey(InfoKey(1, 160, 64)), "Trip L1");
  EXPECT_TRUE(instance.app.switchT && instance.app.switchT2);
  EXPECT_TRUE(instance.Online());
  CreateMainState(instance, {"OFFLINE", "/nonexistent/names.kvi"});
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(instance.app.infoTextFileName, "");
  // A configured port that is missing keeps the program offline.
  instance.settings.online = 1;
  instance.ports[0].params.portNumber = 7;
  CreateMainState(instance, {});
  EXPECT_FALSE(instance.Online());
}

TEST_F(StartupTest, FontSizeOutsideEightToSixteenBecomesTen) {
  Start(false);
  for (const auto& [size, kept] : {std::pair{17, 10}, {8, 8}, {7, 10}, {16, 16}}) {
    instance.settings.telFont.fontSize = size;
    CreateMainState(instance, {});
    EXPECT_EQ(instance.settings.telFont.fontSize, kept) << size;
  }
}

TEST_F(StartupTest, OnlineStateIsAppliedSixTicksLaterOnce) {
  Start(false);
  instance.settings.online = 1;
  CreateMainState(instance, {});
  for (int i = 0; i < 6; ++i) OnTimerTick(instance);
  EXPECT_TRUE(Messages().empty());
  OnTimerTick(instance);
  // Neither port has a number: message 1137 and offline.
  EXPECT_EQ(Messages(), std::vector<std::string>{T(1137)});
  EXPECT_FALSE(instance.Online());
  for (int i = 0; i < 300; ++i) OnTimerTick(instance);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(StartupTest, InformationTextsOfTheDataDirectoryOrNone) {
  Start(false);
  // A failed load clears the name and keeps the standard groups, silently.
  const std::string standard = instance.dataDirectory + T(filetext::kInfoTextDefault);
  instance.settings.infoTextFile.Set(standard);
  instance.app.infoTextFileName = standard;
  EXPECT_FALSE(LoadStartupInfoTexts(instance));
  EXPECT_EQ(instance.settings.infoTextFile.Get(), "");
  EXPECT_EQ(instance.app.infoTextFileName, "");
  EXPECT_EQ(instance.groupNames.Count(), 8);
  EXPECT_TRUE(Messages().empty());

  WriteFile(standard, "1;160;64;0;Trip;\nURS;20;3-5;\n");
  EXPECT_TRUE(LoadStartupInfoTexts(instance));  // the standard file when none is named
  EXPECT_EQ(instance.infoTexts.NameByKey(InfoKey(1, 160, 64)), "Trip");
  EXPECT_EQ(instance.settings.causeColours.pairs[20], 0x0503);
  EXPECT_EQ(instance.settings.infoTextFile.Get(), standard);
  EXPECT_EQ(InfoTextStatus(instance), T(1192) + T(filetext::kInfoTextDefault));
}

TEST_F(StartupTest, OperatorLoadReplacesTheInformationFileOnlyOnSuccess) {
  Start();
  const std::string first = fake.scratch.path() + "first.kvi";
  WriteFile(first, "128=Distance;\nbad;line;\n");
  ASSERT_TRUE(LoadInfoTexts(instance, first));
  EXPECT_EQ(instance.groupNames.Name(0), "128=Distance");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(first + ": 1 ", 0), 0u);
  EXPECT_FALSE(LoadInfoTexts(instance, fake.scratch.path() + "missing.kvi"));
  EXPECT_EQ(instance.settings.infoTextFile.Get(), first);
  EXPECT_EQ(instance.groupNames.Name(0), "128=Distance");
}

}  // namespace
}  // namespace kivo
