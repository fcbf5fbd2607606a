#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/messages.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using testing::WriteFile;

class StartupTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
};

TEST_F(StartupTest, WithoutLanguageFileTheProgramEndsBeforeClaimingASlot) {
  std::filesystem::remove(fake.folders.programDirectory + "KivoText.ger");
  EXPECT_EQ(StartInstance(instance), StartOutcome::NoTexts);
  EXPECT_TRUE(fake.lock.claimed.empty());
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0].rfind("Program text missing/wrong", 0), 0u);
}

TEST_F(StartupTest, BothSlotsTakenEndsSilently) {
  fake.lock.takenByOthers = {1, 2};
  EXPECT_EQ(StartInstance(instance), StartOutcome::NoSlot);
  EXPECT_TRUE(fake.prompter.messages.empty());
}

TEST_F(StartupTest, PortRecordsStartWithTheirDefaults) {
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  const PortRecord& p1 = instance.ports[0];
  const PortRecord& p2 = instance.ports[1];
  EXPECT_EQ(p1.params.baud, 9600u);
  EXPECT_EQ(p1.receiveChannel, 1);
  EXPECT_EQ(p1.transmitChannel, 2);
  EXPECT_EQ(p1.params.addresses[0], 1);
  EXPECT_EQ(p2.receiveChannel, 3);
  EXPECT_EQ(p2.transmitChannel, 4);
  EXPECT_EQ(p2.params.addresses[0], 2);
  EXPECT_EQ(p2.params.addresses[1], 255);
  PortParams expected = p1.params;
  expected.addresses[0] = 2;
  EXPECT_EQ(p2.params, expected);
}

TEST_F(StartupTest, ConfiguredLanguageIsLoadedAfterTheSettings) {
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  const std::string german = instance.texts.Text(504);
  instance.settings.language = 1;
  ASSERT_TRUE(ReloadTexts(instance, 1));
  EXPECT_NE(instance.texts.Text(504), german);
}

TEST_F(StartupTest, BrokenSecondLanguageFallsBackToTheOther) {
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  WriteFile(fake.folders.programDirectory + "KivoText.usa", "0000  ;\n0005  jump\n");
  const std::string german = instance.texts.Text(504);
  EXPECT_TRUE(ReloadTexts(instance, 1));
  EXPECT_EQ(instance.texts.Text(504), german);
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0].rfind("Line number jumps, line:", 0), 0u);
}

class MainStateTest : public StartupTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartInstance(instance), StartOutcome::Run); }
};

TEST_F(MainStateTest, OnlineWordOnTheCommandLineOverridesTheStoredSetting) {
  instance.settings.online = 0;
  instance.ports[0].params.portNumber = 0;
  CreateMainState(instance, {instance.texts.Text(674)});
  EXPECT_TRUE(instance.Online());
  CreateMainState(instance, {"OFFLINE"});
  EXPECT_FALSE(instance.Online());
}

TEST_F(MainStateTest, MissingConfiguredPortStartsOffline) {
  instance.settings.online = 1;
  instance.ports[0].params.portNumber = 7;  // no such port on the (empty) platform
  CreateMainState(instance, {});
  EXPECT_FALSE(instance.Online());
}

TEST_F(MainStateTest, CommandLineFilesAndSwitches) {
  std::string info = fake.scratch.path() + "names.kvi";
  WriteFile(info, "1;160;64;0;Trip L1;\n");
  CreateMainState(instance, {"/tmp/other.KVL", "-t", "/T2", "mine.kvs", info});
  EXPECT_EQ(instance.app.logFileName, "/tmp/other.KVL");
  EXPECT_TRUE(instance.app.fixedLogName);
  EXPECT_EQ(instance.app.sendTelegramFileName, "mine.kvs");
  EXPECT_EQ(instance.app.infoTextFileName, info);
  EXPECT_EQ(instance.infoTexts.NameByKey(InfoKey(1, 160, 64)), "Trip L1");
  EXPECT_TRUE(instance.app.switchT);
  EXPECT_TRUE(instance.app.switchT2);
}

TEST_F(MainStateTest, InformationFileThatDoesNotExistIsDropped) {
  CreateMainState(instance, {"/nonexistent/names.kvi"});
  EXPECT_EQ(instance.app.infoTextFileName, "");
  WriteFile(instance.dataDirectory + instance.texts.Text(1071), "x\n");
  CreateMainState(instance, {});
  EXPECT_EQ(instance.app.infoTextFileName, instance.dataDirectory + "KivoInfo.kvi");
}

TEST_F(MainStateTest, FontSizeOutsideEightToSixteenBecomesTen) {
  instance.settings.telFont.fontSize = 17;
  CreateMainState(instance, {});
  EXPECT_EQ(instance.settings.telFont.fontSize, 10);
  instance.settings.telFont.fontSize = 8;
  CreateMainState(instance, {});
  EXPECT_EQ(instance.settings.telFont.fontSize, 8);
}

TEST_F(MainStateTest, OnlineStateIsAppliedSixTicksLater) {
  instance.settings.online = 1;
  CreateMainState(instance, {});
  for (int i = 0; i < 6; ++i) OnTimerTick(instance);
  EXPECT_TRUE(fake.prompter.messages.empty());
  OnTimerTick(instance);
  // Neither port has a number: message 1137 and offline.
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1137));
  EXPECT_FALSE(instance.Online());
  for (int i = 0; i < 300; ++i) OnTimerTick(instance);
  EXPECT_EQ(fake.prompter.messages.size(), 1u);  // applied once only
}

}  // namespace
}  // namespace kivo
