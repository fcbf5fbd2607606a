// The settings file and the data directory found at start-up.
#include "app/settings.h"

#include <gtest/gtest.h>

#include "app/data_directory.h"
#include "app/fake_platform.h"

namespace kivo {
namespace {

using testing::ReadFile;
using testing::WriteFile;

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
};

TEST_F(DataDirectoryTest, FirstStartCreatesTheFolderAndTakesTheOldFilesAlong) {
  WriteFile(fake.folders.programDirectory + "KivoLog.kvl", "old log");
  WriteFile(fake.folders.programDirectory + "KivoSend.kvs", "old send data");
  Start(false);
  EXPECT_EQ(instance.dataDirectory, Standard());
  EXPECT_EQ(instance.app.logFileName, Standard() + "KivoLog.kvl");
  EXPECT_EQ(instance.app.sendTelegramFileName, Standard() + "KivoSend.kvs");
  EXPECT_EQ(ReadFile(Standard() + "KivoLog.kvl"), "old log");
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
  Instance second(other.Get());
  ASSERT_EQ(StartInstance(second), StartOutcome::Run);
  EXPECT_EQ(second.dataDirectory, other.folders.appData + "Brakel/DemoKivo/");
}

TEST_F(DataDirectoryTest, SettingsInTheProgramDirectoryKeepItOrNameTheFormerDirectory) {
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
    Instance second(other.Get());
    ASSERT_EQ(StartInstance(second), StartOutcome::Run);
    EXPECT_EQ(second.dataDirectory, insideProgramFiles ? other.folders.programDirectory : former);
  }
}

TEST_F(DataDirectoryTest, UncreatableFolderLeavesTheProgramDirectory) {
  fake.folders.appData = fake.folders.programDirectory + "KivoText.ger/";  // a file in the way
  Start(false);
  EXPECT_EQ(instance.dataDirectory, fake.folders.programDirectory);
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
  EXPECT_EQ(SettingsFileName(instance), instance.dataDirectory + "KivoSet2.dat");
  EXPECT_EQ(instance.app.logFileName, instance.dataDirectory + "KivoLog2.kvl");
  EXPECT_EQ(instance.app.sendTelegramFileName, instance.dataDirectory + "KivoSend2.kvs");
}

}  // namespace
}  // namespace kivo
