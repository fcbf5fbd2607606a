#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/data_directory.h"
#include "app/fake_platform.h"
#include "app/settings.h"
#include "app/startup.h"
#include "util/bytes.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using testing::ReadFile;
using testing::WriteFile;

std::string SettingsBytes(const Settings& s) {
  std::string bytes(Settings::kSize, '\0');
  s.Encode(Bytes(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  return bytes;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  testing::ScratchDir dir;
  std::string path = dir.path() + "KivoSet.dat";
  Settings stored = [] {
    Settings s;
    s.displayFormat = 6;
    s.language = 1;
    s.onlineDisplay = 0;
    return s;
  }();
};

TEST_F(SettingsFileTest, ValidFileReplacesTheSettings) {
  WriteFile(path, SettingsBytes(stored));
  Settings s;
  ASSERT_TRUE(LoadSettings(path, s));
  EXPECT_EQ(s, stored);
}

TEST_F(SettingsFileTest, WrongSizeVersionOrMagicLeavesTheDefaults) {
  std::string good = SettingsBytes(stored);
  std::vector<std::string> bad = {good.substr(0, 4359), good + '\0', std::string()};
  std::string version15 = good;
  version15[8] = 15;
  std::string wrongMagic = good;
  wrongMagic[3] = 0x4C;
  std::string wrongSizeField = good;
  wrongSizeField[4] = 0;
  bad.insert(bad.end(), {version15, wrongMagic, wrongSizeField});
  for (const std::string& content : bad) {
    WriteFile(path, content);
    Settings s;
    EXPECT_FALSE(LoadSettings(path, s));
    EXPECT_EQ(s, Settings{});
  }
  Settings s;
  EXPECT_FALSE(LoadSettings(dir.path() + "missing.dat", s));
  EXPECT_FALSE(LoadSettings(dir.path(), s));  // a directory is no settings file
}

TEST_F(SettingsFileTest, InvalidColourBlockGetsTheDefaultsAndKeepsTheRest) {
  stored.telFont.valid = 0;
  stored.telFont.fontSize = 14;
  stored.telFont.pairs[0] = 0x0303;
  WriteFile(path, SettingsBytes(stored));
  Settings s;
  ASSERT_TRUE(LoadSettings(path, s));
  EXPECT_EQ(s.telFont, TTelFont{});
  EXPECT_EQ(s.displayFormat, 6);
  EXPECT_EQ(s.language, 1);
}

TEST_F(SettingsFileTest, WriteProducesExactlyTheRecord) {
  ASSERT_TRUE(WriteSettingsFile(path, stored));
  EXPECT_EQ(ReadFile(path), SettingsBytes(stored));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_FALSE(WriteSettingsFile(dir.path() + "no/such/dir/x.dat", stored));
}

class DataDirectoryTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};

  void Start() { ASSERT_EQ(StartInstance(instance), StartOutcome::Run); }
};

TEST_F(DataDirectoryTest, FirstStartCreatesTheFolderInTheApplicationData) {
  std::string programDir = fake.folders.programDirectory;
  WriteFile(programDir + "KivoLog.kvl", "old log");
  WriteFile(programDir + "KivoSend.kvs", "old send data");
  Start();
  std::string expected = fake.folders.appData + "Brakel/DemoKivo/";
  EXPECT_EQ(instance.dataDirectory, expected);
  EXPECT_TRUE(std::filesystem::is_directory(expected));
  EXPECT_EQ(instance.app.logFileName, expected + "KivoLog.kvl");
  EXPECT_EQ(instance.app.sendTelegramFileName, expected + "KivoSend.kvs");
  EXPECT_EQ(ReadFile(expected + "KivoLog.kvl"), "old log");
  EXPECT_EQ(ReadFile(expected + "KivoSend.kvs"), "old send data");
}

TEST_F(DataDirectoryTest, RegistryDirectoryIsUsedWhenItExists) {
  std::string chosen = fake.scratch.Sub("chosen");
  Settings s;
  s.displayFormat = 5;
  WriteFile(chosen + "KivoSet.dat", SettingsBytes(s));
  fake.registry.WriteString(kRegistryKey, kRegistryDataDirectory, chosen.substr(0, chosen.size() - 1));
  Start();
  EXPECT_EQ(instance.dataDirectory, chosen);
  EXPECT_EQ(instance.settings.displayFormat, 5);
}

TEST_F(DataDirectoryTest, MissingRegistryDirectoryFallsBack) {
  fake.registry.WriteString(kRegistryKey, kRegistryDataDirectory, "/nonexistent/kivo/");
  Start();
  EXPECT_EQ(instance.dataDirectory, fake.folders.appData + "Brakel/DemoKivo/");
}

TEST_F(DataDirectoryTest, SettingsInTheProgramDirectoryKeepItAsDataDirectory) {
  Settings s;
  s.displayFormat = 4;
  WriteFile(fake.folders.programDirectory + "KivoSet.dat", SettingsBytes(s));
  Start();
  EXPECT_EQ(instance.dataDirectory, fake.folders.programDirectory);
  EXPECT_EQ(instance.settings.displayFormat, 4);
}

TEST_F(DataDirectoryTest, FormerDataDirectoryOfProgramDirectorySettingsIsTaken) {
  std::string former = fake.scratch.Sub("former");
  Settings s;
  s.formerDataDirectory.Set(former);
  WriteFile(fake.folders.programDirectory + "KivoSet.dat", SettingsBytes(s));
  Start();
  EXPECT_EQ(instance.dataDirectory, former);

  // Not when it lies inside a program-files folder.
  FakePlatform other;
  other.folders.programFiles = {former};
  WriteFile(other.folders.programDirectory + "KivoSet.dat", SettingsBytes(s));
  Instance second(other.Get());
  ASSERT_EQ(StartInstance(second), StartOutcome::Run);
  EXPECT_EQ(second.dataDirectory, other.folders.programDirectory);
}

TEST_F(DataDirectoryTest, UncreatableFolderLeavesTheProgramDirectory) {
  fake.folders.appData = fake.folders.programDirectory + "KivoText.ger/";  // a file in the way
  Start();
  EXPECT_EQ(instance.dataDirectory, fake.folders.programDirectory);
}

TEST_F(DataDirectoryTest, SaveStoresDirectoryAndRecord) {
  Start();
  instance.settings.displayFormat = 7;
  instance.settings.formerDataDirectory.Set("/somewhere/");
  ASSERT_TRUE(SaveSettings(instance));
  EXPECT_EQ(fake.registry.ReadString(kRegistryKey, kRegistryDataDirectory), instance.dataDirectory);
  Settings read;
  ASSERT_TRUE(LoadSettings(instance.dataDirectory + "KivoSet.dat", read));
  EXPECT_EQ(read.displayFormat, 7);
  EXPECT_EQ(read.formerDataDirectory.Get(), "");
  EXPECT_EQ(read.sendTelegramFile.Get(), instance.app.sendTelegramFileName);

  // The next start finds everything again through the registry.
  fake.lock.claimed.clear();
  Instance next(fake.Get());
  ASSERT_EQ(StartInstance(next), StartOutcome::Run);
  EXPECT_EQ(next.dataDirectory, instance.dataDirectory);
  EXPECT_EQ(next.settings.displayFormat, 7);
}

TEST_F(DataDirectoryTest, SecondInstanceUsesFilesWithSuffixTwo) {
  fake.lock.takenByOthers = {1};
  Start();
  EXPECT_EQ(instance.app.instanceNumber, 2);
  EXPECT_EQ(SettingsFileName(instance), instance.dataDirectory + "KivoSet2.dat");
  EXPECT_EQ(instance.app.logFileName, instance.dataDirectory + "KivoLog2.kvl");
  EXPECT_EQ(instance.app.sendTelegramFileName, instance.dataDirectory + "KivoSend2.kvs");
}

}  // namespace
}  // namespace kivo
