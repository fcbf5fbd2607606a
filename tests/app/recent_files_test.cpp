// The recent-files list: kept newest first in the settings record, each file
// once however its name is spelt, and opened by the kind its extension names.
#include "app/recent_files.h"

#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/messages.h"
#include "app/send_file_commands.h"
#include "log/log_store_fixture.h"

namespace kivo {
namespace {

class RecentFilesTest : public testing::AppTest {
 protected:
  void SetUp() override {
    Start();
    ASSERT_TRUE(ReloadTexts(instance, 1));
  }
  std::string Scratch(const std::string& name) const { return fake.scratch.path() + name; }
};

TEST_F(RecentFilesTest, NewestFirstEachFileOnceEightKeptSixShown) {
  std::vector<std::string> names;
  for (int i = 1; i <= 9; ++i) {
    names.push_back(Scratch("log" + std::to_string(i) + ".lg3"));
    testing::WriteFile(names.back(), "x");
    AddRecentFile(instance, names.back());
  }
  const std::vector<std::string> newest(names.rbegin(), names.rbegin() + 8);
  EXPECT_EQ(RecentFiles(instance), newest);
  EXPECT_EQ(ShownRecentFiles(instance),
            std::vector<std::string>(newest.begin(), newest.begin() + 6));
  EXPECT_EQ(instance.settings.recentCount, 8);
  EXPECT_EQ(instance.settings.recentFiles[0].Get(), names[8]);

  // Another spelling of log5 moves it to the front instead of adding it.
  std::filesystem::create_directories(Scratch("sub"));
  AddRecentFile(instance, Scratch("sub/../log5.lg3"));
  const std::vector<std::string> moved = RecentFiles(instance);
  ASSERT_EQ(moved.size(), 8u);
  EXPECT_EQ(moved[0], names[4]);
  EXPECT_EQ(std::count(moved.begin(), moved.end(), names[4]), 1);
  EXPECT_EQ(moved[1], names[8]);

  // The list survives the settings file.
  std::array<std::uint8_t, Settings::kSize> bytes{};
  instance.settings.Encode(bytes);
  instance.settings = Settings::Decode(bytes);
  EXPECT_EQ(RecentFiles(instance), moved);

  // A name too long for the record is not kept.
  AddRecentFile(instance, Scratch(std::string(300, 'n') + ".lg3"));
  EXPECT_EQ(RecentFiles(instance), moved);
}

TEST_F(RecentFilesTest, EntriesOpenAsTheKindTheirExtensionNames) {
  // A log (also by the earlier extension, and in capitals).
  for (const std::string name : {"Bay.LG3", "old.kvl"}) {
    testing::StoreRig rig;
    ASSERT_TRUE(rig.store.CreateLog(Scratch(name)));
    rig.Fill(3);
    rig.store.CloseLog();
    EXPECT_EQ(RecentFileKindOf(instance, Scratch(name)), RecentFileKind::Log);
    ASSERT_TRUE(OpenRecentFile(instance, Scratch(name)));
    EXPECT_EQ(instance.logStore.FileName(), Scratch(name));
    EXPECT_EQ(instance.logStore.Index().lastSeqNo, 3u);
    EXPECT_EQ(RecentFiles(instance).front(), Scratch(name));
  }
  // A send-telegram file.
  const std::string send = Scratch("Bay7.kvs");
  instance.send.Telegram(4).name.Set("Bay 7 current");
  ASSERT_TRUE(WriteSendTelegramFile(instance, send));
  instance.send.Telegram(4).name.Set("changed");
  EXPECT_EQ(RecentFileKindOf(instance, send), RecentFileKind::SendTelegramFile);
  ASSERT_TRUE(OpenRecentFile(instance, send));
  EXPECT_EQ(instance.send.Telegram(4).name.Get(), "Bay 7 current");
  EXPECT_EQ(instance.app.sendTelegramFileName, send);
  // An information text file.
  const std::string info = Scratch("Station.kvi");
  testing::WriteFile(info, "");
  EXPECT_EQ(RecentFileKindOf(instance, info), RecentFileKind::InfoTextFile);
  ASSERT_TRUE(OpenRecentFile(instance, info));
  EXPECT_EQ(instance.app.infoTextFileName, info);
  EXPECT_EQ(RecentFiles(instance),
            (std::vector<std::string>{info, send, Scratch("old.kvl"), Scratch("Bay.LG3")}));
  // A file that is no log is refused and left as it was.
  const std::string notes = Scratch("notes.txt");
  testing::WriteFile(notes, "my notes");
  EXPECT_FALSE(OpenRecentFile(instance, notes));
  EXPECT_EQ(testing::ReadFile(notes), "my notes");
  EXPECT_EQ(Messages().back(), FormatText(instance, 1201, "notes.txt"));
}

TEST_F(RecentFilesTest, AFileThatIsGoneIsReportedAndLeavesTheList) {
  const std::string gone = Scratch("gone.lg3");
  const std::string kept = Scratch("kept.lg3");
  testing::WriteFile(kept, "");
  AddRecentFile(instance, gone);
  AddRecentFile(instance, kept);
  const std::string current = instance.logStore.FileName();
  EXPECT_FALSE(OpenRecentFile(instance, gone));
  EXPECT_EQ(Messages(), std::vector<std::string>{FormatText(instance, 1436, gone)});
  EXPECT_EQ(RecentFiles(instance), std::vector<std::string>{kept});
  EXPECT_EQ(instance.logStore.FileName(), current);
}

}  // namespace
}  // namespace kivo
