// Start-up: the settings file, the data directory, the main state built from
// the settings and the command line, and the information text file.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/data_directory.h"
#include "app/fake_platform.h"
#include "app/info_texts.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/settings.h"

namespace kivo {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using StartupTest = testing::AppTest;

std::string SettingsBytes(const Settings& s) {
  std::string bytes(Settings::kSize, '\0');
  s.Encode(Bytes(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  return bytes;
}

TEST(SettingsFile, OnlyAWholeRecordOfThisVersionIsTaken) {
  testing::ScratchDir dir;
  const std::string path = dir.path() + "KivoSet.dat";
  Settings stored;
  stored.displayFormat = 6;
  stored.language = 1;
  ASSERT_TRUE(WriteSettingsFile(path, stored));
  EXPECT_EQ(ReadFile(path), SettingsBytes(stored));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_FALSE(WriteSettingsFile(dir.path() + "no/such/dir/x.dat", stored));
  Settings s;
  ASSERT_TRUE(LoadSettings(path, s));
  EXPECT_EQ(s, stored);

  // Size, version 15, magic, size field.
  const std::string good = SettingsBytes(stored);
  std::vector<std::string> bad = {good.substr(0, 4359), good + '\0', "", good, good, good};
  bad[3][8] = 15;
  bad[4][3] = 0x4C;
  bad[5][4] = 0;
  for (const std::string& content : bad) {
    WriteFile(path, content);
    s = Settings{};
    EXPECT_FALSE(LoadSettings(path, s)) << content.size();
    EXPECT_EQ(s, Settings{});
  }
  EXPECT_FALSE(LoadSettings(dir.path() + "missing.dat", s));
  EXPECT_FALSE(LoadSettings(dir.path(), s));  // a directory is no settings file

  // An invalid colour block gets the defaults; the rest is kept.
  stored.telFont.valid = 0;
  stored.telFont.fontSize = 14;
  WriteFile(path, SettingsBytes(stored));
  ASSERT_TRUE(LoadSettings(path, s));
  EXPECT_EQ(s.telFont, TTelFont{});
  EXPECT_EQ(s.displayFormat, 6);
}

class DataDirectoryTest : public testing::AppTest {
 protected:
  std::string Standard() const { return fake.folders.appData + "Brakel/DemoKivo/"; }
  void SettingsIn(const std::string& directory, const Settings& s) {
    WriteFile(directory + "KivoSet.dat", SettingsBytes(s));
  }
  // The data directory an instance on `other` starts with.
  static std::string StartedIn(testing::FakePlatform& other) {
    Instance started(other.Get());
    EXPECT_EQ(StartInstance(started), StartOutcome::Run);
    return started.dataDirectory;
  }
};

TEST_F(DataDirectoryTest, FirstStartCreatesTheFolderAndTakesTheOldFilesAlong) {
  WriteFile(fake.folders.programDirectory + "KivoLog.lg3", "old log");
  WriteFile(fake.folders.programDirectory + "KivoSend.kvs", "old send data");
  Start(false);
  EXPECT_EQ(instance.dataDirectory, Standard());
  EXPECT_EQ(instance.app.logFileName, Standard() + "KivoLog.lg3");
  EXPECT_EQ(instance.app.sendTelegramFileName, Standard() + "KivoSend.kvs");
  EXPECT_EQ(ReadFile(Standard() + "KivoLog.lg3"), "old log");
  EXPECT_EQ(ReadFile(Standard() + "KivoSend.kvs"), "old send data");
}

TEST_F(DataDirectoryTest, RegistryDirectoryIsUsedOnlyWhenItExists) {
  const std::string chosen = fake.scratch.Sub("chosen");
  Settings s;
  s.displayFormat = 5;
  SettingsIn(chosen, s);
  fake.registry.WriteString(kRegistryKey, kRegistryDataDirectory,
                            chosen.substr(0, chosen.size() - 1));
  Start(false);
  EXPECT_EQ(instance.dataDirectory, chosen);
  EXPECT_EQ(instance.settings.displayFormat, 5);

  testing::FakePlatform other;
  other.registry.WriteString(kRegistryKey, kRegistryDataDirectory, "/nonexistent/kivo/");
  EXPECT_EQ(StartedIn(other), other.folders.appData + "Brakel/DemoKivo/");
}

TEST_F(DataDirectoryTest, ProgramDirectoryIsKeptWithSettingsInItOrAnUncreatableFolder) {
  Settings s;
  s.displayFormat = 4;
  SettingsIn(fake.folders.programDirectory, s);
  Start(false);
  EXPECT_EQ(instance.dataDirectory, fake.folders.programDirectory);
  EXPECT_EQ(instance.settings.displayFormat, 4);

  // A former data directory is taken, but not inside a program-files folder.
  for (const bool insideProgramFiles : {false, true}) {
    testing::FakePlatform other;
    const std::string former = other.scratch.Sub("former");
    if (insideProgramFiles) other.folders.programFiles = {former};
    s.formerDataDirectory.Set(former);
    SettingsIn(other.folders.programDirectory, s);
    EXPECT_EQ(StartedIn(other), insideProgramFiles ? other.folders.programDirectory : former);
  }
  // So is it when the standard folder cannot be created: a file is in the way.
  testing::FakePlatform blocked;
  blocked.folders.appData = blocked.folders.programDirectory + "KivoText.ger/";
  EXPECT_EQ(StartedIn(blocked), blocked.folders.programDirectory);
}

TEST_F(DataDirectoryTest, SavedSettingsAreFoundAgainThroughTheRegistry) {
  Start(false);
  instance.settings.displayFormat = 7;
  instance.settings.formerDataDirectory.Set("/somewhere/");
  ASSERT_TRUE(SaveSettings(instance));
  Settings read;
  ASSERT_TRUE(LoadSettings(instance.dataDirectory + "KivoSet.dat", read));
  EXPECT_EQ(read.formerDataDirectory.Get(), "");
  EXPECT_EQ(read.sendTelegramFile.Get(), instance.app.sendTelegramFileName);

  fake.lock.claimed.clear();
  Instance next(fake.Get());
  ASSERT_EQ(StartInstance(next), StartOutcome::Run);
  EXPECT_EQ(next.dataDirectory, instance.dataDirectory);
  EXPECT_EQ(next.settings.displayFormat, 7);
}

TEST_F(DataDirectoryTest, SecondInstanceUsesFilesWithSuffixTwo) {
  fake.lock.takenByOthers = {1};
  Start(false);
  EXPECT_EQ(instance.app.instanceNumber, 2);
  const std::string& dir = instance.dataDirectory;
  EXPECT_EQ(SettingsFileName(instance), dir + "KivoSet2.dat");
  EXPECT_EQ(instance.app.logFileName, dir + "KivoLog2.lg3");
  EXPECT_EQ(instance.app.sendTelegramFileName, dir + "KivoSend2.kvs");
}

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

TEST_F(StartupTest, CommandLineNamesFilesSwitchesAndTheOnlineStateAndTheFontIsRepaired) {
  Start(false);
  const std::string info = fake.scratch.path() + "names.kvi";
  WriteFile(info, "1;160;64;0;Trip L1;\n");
  instance.settings.online = 0;
  const std::string log = fake.scratch.path() + "other.LG3";
  CreateMainState(instance, {log, "-t", "/T2", "mine.kvs", info, T(674)});
  EXPECT_EQ(instance.app.logFileName, log);
  EXPECT_TRUE(instance.app.fixedLogName);
  // Logs written under the earlier extension are logs as well.
  const std::string earlier = fake.scratch.path() + "earlier.KVL";
  CreateMainState(instance, {earlier});
  EXPECT_EQ(instance.app.logFileName, earlier);
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
  // A font size outside 8 to 16 becomes 10.
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

TEST_F(StartupTest, InformationTextsOfTheDataDirectoryOrNoneAndTheOperatorsFile) {
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

  // The operator's load replaces the file only on success.
  CreateMainState(instance, {});
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
