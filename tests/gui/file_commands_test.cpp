// The file side of the main window, offscreen: the log commands of the File
// menu with their dialogs, the recent-files section, the demo item, and the
// demo itself as `kivo --demo` builds it.
#include "ui/file_commands.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "app/fake_platform.h"
#include "app/messages.h"
#include "app/port_service.h"
#include "app/recent_files.h"
#include "app/startup.h"
#include "log/log_store_fixture.h"
#include "platform/posix/posix_platform.h"
#include "ui/demo_host.h"
#include "ui/main_window.h"
#include "ui/qt_event_loop.h"
#include "util/file_io.h"

namespace kivo {
namespace {

class FileCommandsTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  Instance instance{fake.Get()};
  std::unique_ptr<TfmMain> window;
  std::vector<FileRequest> requests;
  QString answer;  // what the dialogs choose

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    window = std::make_unique<TfmMain>(instance, std::vector<std::string>{});
    window->timer()->stop();
    window->chooseFile = [this](QWidget*, const FileRequest& request) {
      requests.push_back(request);
      return answer;
    };
  }
  QString T(int n) { return QString::fromStdString(instance.texts.Text(n)); }
  std::string Scratch(const std::string& name) { return fake.scratch.path() + name; }
  // The File menu's entries from the recent-files section on, as shown.
  QStringList FileMenuTail() {
    QStringList shown;
    bool inSection = false;
    for (QAction* a : window->menu("miFile")->actions()) {
      if (a->objectName() == "miInfTxtLoad") inSection = true;
      if (!inSection || !a->isVisible()) continue;
      shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return shown;
  }
};

TEST_F(FileCommandsTest, SaveOpenAndDeleteTheLogThroughTheFileMenu) {
  for (const char* name : {"miLogOp", "miLogSav", "miLogDel"}) {
    EXPECT_TRUE(window->action(name)->isEnabled()) << name;
  }
  const std::string standard = instance.logStore.FileName();
  for (int i = 0; i < 4; ++i) instance.logStore.Append(testing::Telegram(20));

  // Saved under a name without extension: the log extension is added.
  answer = QString::fromStdString(Scratch("Bay7"));
  window->action("miLogSav")->trigger();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].caption, T(1196));
  EXPECT_EQ(requests[0].path.toStdString(), standard);  // the current log's folder and name
  EXPECT_TRUE(requests[0].filter.startsWith("Log files (*.lg3 *.kvl)"))
      << requests[0].filter.toStdString();
  EXPECT_TRUE(requests[0].save);
  const std::string saved = Scratch("Bay7.lg3");
  EXPECT_EQ(testing::ReadFile(saved), testing::ReadFile(standard));
  EXPECT_EQ(instance.logStore.FileName(), standard);

  // Opened again through the open dialog: it becomes the current log.
  answer = QString::fromStdString(saved);
  window->action("miLogOp")->trigger();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].caption, T(1195));
  EXPECT_FALSE(requests[1].save);
  EXPECT_EQ(instance.logStore.FileName(), saved);
  EXPECT_EQ(instance.logStore.Index().lastSeqNo, 4u);
  // A cancelled dialog changes nothing.
  answer.clear();
  window->action("miLogOp")->trigger();
  EXPECT_EQ(instance.logStore.FileName(), saved);

  // Deleting asks with the file's name; Yes clears the log.
  fake.prompter.answers = {MessageResult::Yes};
  window->action("miLogDel")->trigger();
  EXPECT_EQ(fake.prompter.messages.back(), "Delete the log Bay7.lg3?");
  EXPECT_EQ(FileSize(saved), 2128);
  EXPECT_EQ(FileMenuTail(),
            (QStringList{T(1058), "-", QString::fromStdString("&1 " + saved), "-", T(1060)}));
}

TEST_F(FileCommandsTest, RecentFilesAreNumberedNewestFirstAndFollowTheLanguage) {
  EXPECT_EQ(FileMenuTail(), (QStringList{T(1058), "-", T(1060)}));
  const std::string send = Scratch("Station.kvs");
  const std::string log = Scratch("Feeder.lg3");
  ASSERT_TRUE(window->SaveSendTelegramFileAs(send));
  answer = QString::fromStdString(log);
  window->action("miLogOp")->trigger();  // a new log in that file
  const QStringList twoEntries = {
      T(1058), "-",    QString::fromStdString("&1 " + log), QString::fromStdString("&2 " + send),
      "-",     T(1060)};
  EXPECT_EQ(FileMenuTail(), twoEntries);

  window->action("miGer")->trigger();  // refilled with the German captions
  QApplication::processEvents();
  EXPECT_EQ(instance.settings.language, 0);
  QStringList german = twoEntries;
  german.front() = T(1058);
  german.back() = T(1060);
  EXPECT_EQ(FileMenuTail(), german);

  // Choosing the send-telegram file reads it and moves it to the front.
  instance.send.Telegram(4).name.Set("changed");
  window->recentFileEntries()[1]->trigger();
  QApplication::processEvents();
  EXPECT_EQ(instance.app.sendTelegramFileName, send);
  EXPECT_EQ(window->recentFileEntries()[0]->text().toStdString(), "&1 " + send);

  // A file that is gone is reported and leaves the menu.
  std::filesystem::remove(log);
  window->recentFileEntries()[1]->trigger();
  QApplication::processEvents();
  EXPECT_EQ(fake.prompter.messages.back(), FormatText(instance, 1436, log));
  ASSERT_EQ(window->recentFileEntries().size(), 1u);
  EXPECT_EQ(window->recentFileEntries()[0]->text().toStdString(), "&1 " + send);
}

TEST_F(FileCommandsTest, AtMostSixRecentFilesAreShown) {
  for (int i = 1; i <= 8; ++i) AddRecentFile(instance, Scratch("log" + std::to_string(i) + ".lg3"));
  window->LabelControls();
  const auto& entries = window->recentFileEntries();
  ASSERT_EQ(entries.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[static_cast<std::size_t>(i)]->text().toStdString(),
              "&" + std::to_string(i + 1) + " " + Scratch("log" + std::to_string(8 - i) + ".lg3"));
  }
}

TEST_F(FileCommandsTest, TheModeMenuOffersTheDemo) {
  QAction* demo = window->action("miDemo");
  ASSERT_NE(demo, nullptr);
  EXPECT_EQ(window->menu("miMode")->actions().back(), demo);
  EXPECT_EQ(demo->text(), T(1435));
  EXPECT_TRUE(demo->isEnabled());
  window->action("miGer")->trigger();
  QApplication::processEvents();
  EXPECT_EQ(demo->text(), T(1435));
  EXPECT_EQ(demo->text(), "Demo in neuem Fenster");
}

// The demo as `kivo --demo` builds it: its own data directory and locks, a
// pseudo-terminal pair between the two ports, online at once; frames of both
// ports reach the log within a few seconds of the window's event loop.
TEST(DemoWindow, FramesOfThePrimaryAndTheDevicesReachTheLog) {
  testing::FakePlatform fake;
  PosixClock clock;
  QtEventLoop loop;
  std::string directory;
  {
    DemoHost host(fake.registry);
    ASSERT_TRUE(host.ok()) << host.error();
    directory = host.directory();
    Instance instance(host.MakePlatform(clock, fake.folders, fake.prompter, &loop));
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    PortService ports(instance, loop);
    TfmMain window(instance, {}, &ports);
    host.GoOnline(instance, window, ports);
    ASSERT_TRUE(instance.Online());
    EXPECT_EQ(DirectoryOf(instance.logStore.FileName()), directory);

    std::array<int, 5> framesOnChannel{};
    instance.logStore.hooks.stored = [&](const TLogEntry& e) {
      if (e.frameKind != kFrameEvent && e.channel <= 4) ++framesOnChannel[e.channel];
    };
    for (int waited = 0; waited < 8000 && framesOnChannel[3] < 3; waited += 100) {
      QTest::qWait(100);
    }
    instance.logStore.hooks.stored = nullptr;
    EXPECT_GE(framesOnChannel[2], 3);  // the primary's requests
    EXPECT_GE(framesOnChannel[3], 3);  // received by the devices
    EXPECT_GE(framesOnChannel[4], 3);  // the devices' answers
    EXPECT_TRUE(fake.prompter.messages.empty());
    EXPECT_TRUE(window.close());
  }
  EXPECT_FALSE(std::filesystem::exists(directory));
}

}  // namespace
}  // namespace kivo
