// The main window, offscreen: tool bar from the menu, status panel, online
// toggle, language switch, placement and closing.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QToolButton>

#include "app/data_directory.h"
#include "app/fake_platform.h"
#include "app/startup.h"
#include "send/send_execution.h"

namespace kivo {
namespace {

using testing::FakePlatform;

class MainWindowTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
  std::unique_ptr<TfmMain> window;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
  }
  void Open(const std::vector<std::string>& args = {}) {
    window = std::make_unique<TfmMain>(instance, args);
    window->timer()->stop();  // the test drives the ticks
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) window->oOnTimer();
  }
  QString T(int n) { return QString::fromStdString(instance.texts.Text(n)); }
};

TEST_F(MainWindowTest, ToolBarHasOneLabelledButtonPerMenu) {
  Open();
  QList<QToolButton*> buttons = window->menuToolBar()->findChildren<QToolButton*>();
  std::vector<QToolButton*> menuButtons;
  for (QToolButton* b : buttons) {
    if (b->menu()) menuButtons.push_back(b);
  }
  ASSERT_EQ(menuButtons.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(menuButtons[static_cast<std::size_t>(i)]->text(), T(504 + i));
  }
  EXPECT_EQ(window->action("miOnline")->text(), T(523));
  EXPECT_EQ(window->action("miExit")->text(), T(1060));
  EXPECT_EQ(window->menuBar()->actions().size(), 0);
}

TEST_F(MainWindowTest, StartsOfflineAndShowsIt) {
  Open();
  EXPECT_EQ(window->statusPanel(0)->text(), T(673));
  EXPECT_FALSE(window->onlineButton()->isChecked());
  EXPECT_EQ(window->onlineButton()->text(), T(1148));
  EXPECT_TRUE(window->action("miOffline")->isChecked());
  EXPECT_FALSE(window->action("miOnline")->isChecked());
}

TEST_F(MainWindowTest, OnlineToggleWithoutPortsShowsMessageAndStaysOffline) {
  Open();
  window->onlineButton()->click();
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(1137));
  EXPECT_EQ(window->statusPanel(0)->text(), T(673));
  EXPECT_FALSE(window->onlineButton()->isChecked());
}

TEST_F(MainWindowTest, OnlineToggleSwitchesTheControls) {
  instance.ports[0].params.portNumber = 1;
  Open();
  window->onlineButton()->click();
  EXPECT_EQ(window->statusPanel(0)->text(), T(674));
  EXPECT_TRUE(window->onlineButton()->isChecked());
  EXPECT_EQ(window->onlineButton()->text(), T(1149));
  EXPECT_TRUE(window->action("miOnline")->isChecked());
  window->action("miOffline")->trigger();
  EXPECT_EQ(window->statusPanel(0)->text(), T(673));
  EXPECT_FALSE(window->onlineButton()->isChecked());
}

TEST_F(MainWindowTest, StoredOnlineStateIsAppliedAfterSixTicks) {
  instance.settings.online = 1;
  Open({"ONLINE"});
  Ticks(6);
  EXPECT_TRUE(fake.prompter.messages.empty());
  Ticks(1);
  EXPECT_EQ(fake.prompter.messages.size(), 1u);  // no port numbers: 1137
  EXPECT_EQ(window->statusPanel(0)->text(), T(673));
}

TEST_F(MainWindowTest, LanguageSwitchRelabelsTheWindow) {
  Open();
  const QString english = window->action("miExit")->text();
  window->action("miGer")->trigger();
  QApplication::processEvents();
  EXPECT_EQ(instance.settings.language, 0);
  EXPECT_TRUE(window->action("miGer")->isChecked());
  EXPECT_FALSE(window->action("miUsa")->isChecked());
  EXPECT_NE(window->action("miExit")->text(), english);
  EXPECT_EQ(window->action("miExit")->text(), T(1060));
}

TEST_F(MainWindowTest, ViewFormatsAreExclusiveAndStored) {
  Open();
  EXPECT_TRUE(window->action("miLog")->isChecked());
  window->action("miByte")->trigger();
  EXPECT_EQ(instance.settings.displayFormat, 6);
  EXPECT_FALSE(window->action("miLog")->isChecked());
  window->action("miZeit")->trigger();
  EXPECT_EQ(instance.settings.showTime, 0);
  window->action("miExp")->trigger();  // the CSV form shows time and link lines
  EXPECT_EQ(instance.settings.showTime, 1);
  window->action("miZeit")->trigger();
  EXPECT_EQ(instance.settings.showTime, 1);
}

TEST_F(MainWindowTest, F8TogglesOnlineOnlyWhenTheOptionIsSet) {
  instance.ports[0].params.portNumber = 1;
  Open();
  EXPECT_TRUE(window->action("aGoOnl")->shortcut().isEmpty());
  instance.settings.options[kOptionF8Online] = 1;
  window->ApplyShortcuts();
  EXPECT_EQ(window->action("aGoOnl")->shortcut(), QKeySequence(Qt::Key_F8));
  window->action("aGoOnl")->trigger();
  EXPECT_TRUE(instance.Online());
}

TEST_F(MainWindowTest, PopupMenuOffersTheViewItems) {
  Open();
  auto* popup = window->findChild<QMenu*>("pmMain");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->actions(), window->menu("miView")->actions());
}

TEST_F(MainWindowTest, TitleNamesTheSendTelegramFile) {
  Open();
  EXPECT_TRUE(window->windowTitle().startsWith(T(499)));
  EXPECT_TRUE(window->windowTitle().endsWith("KivoSend.kvs"));
}

TEST_F(MainWindowTest, ClosingStoresPlacementAndSettings) {
  instance.settings.placement = {40, 30, 500, 700, 1};
  Open();
  window->ShowWithPlacement();
  EXPECT_EQ(window->geometry().width(), 700);
  window->setGeometry(50, 60, 640, 480);
  window->close();
  const WindowPlacement& p = instance.settings.placement;
  EXPECT_EQ(p.state, 1);
  EXPECT_EQ(p.left, 50);
  EXPECT_EQ(p.top, 60);
  EXPECT_EQ(p.width, 640);
  EXPECT_EQ(p.height, 480);
  Settings stored;
  ASSERT_TRUE(LoadSettings(SettingsFileName(instance), stored));
  EXPECT_EQ(stored.placement, p);
  EXPECT_EQ(stored.language, 1);
}

TEST_F(MainWindowTest, SendActionsCarryTheirCaptionsAndStartTelegrams) {
  instance.send.Telegram(2).trigger = kTriggerReceivedType;
  instance.send.Telegram(2).triggerType = 7;
  Open();
  QAction* send2 = window->action("aSeTe2");
  ASSERT_NE(send2, nullptr);
  EXPECT_EQ(send2->text().toStdString(), SendCaption(instance.sendContext, 2));
  EXPECT_EQ(send2->text().toStdString().substr(0, 1), "2");
  EXPECT_EQ(window->action("aSeLi12")->text().toStdString(), SendCaption(instance.sendContext, 24));
  // Offline: the start is refused with its message.
  send2->trigger();
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_EQ(fake.prompter.messages[0], instance.texts.Text(870));
  // A renamed telegram shows its new caption.
  instance.send.Telegram(2).name.Set("Reply");
  window->SendCaptionChanged(2);
  EXPECT_NE(send2->text().toStdString().find("Reply"), std::string::npos);
  // The stop item is enabled only while something is sent.
  emit window->menu("miSend")->aboutToShow();
  EXPECT_FALSE(window->action("miSeStop")->isEnabled());
  instance.send.Telegram(1).sendState = kSendDue;
  emit window->menu("miSend")->aboutToShow();
  ASSERT_TRUE(window->action("miSeStop")->isEnabled());
  window->action("miSeStop")->trigger();
  EXPECT_EQ(instance.send.Telegram(1).sendState, kSendIdle);
}

TEST_F(MainWindowTest, SendTelegramFilesAreSavedAndLoadedThroughTheFileMenu) {
  Open();
  EXPECT_TRUE(window->action("miSeTeLoad")->isEnabled());
  EXPECT_TRUE(window->action("miSeTeSav")->isEnabled());
  const std::string other = instance.dataDirectory + "Bay7.kvs";
  instance.send.Telegram(4).name.Set("Bay 7 current");
  ASSERT_TRUE(window->SaveSendTelegramFileAs(other));
  EXPECT_EQ(instance.app.sendTelegramFileName, other);
  EXPECT_TRUE(window->windowTitle().endsWith("Bay7.kvs"));

  instance.send.Telegram(4).name.Set("changed");
  ASSERT_TRUE(window->LoadSendTelegramFile(other));
  EXPECT_EQ(instance.send.Telegram(4).name.Get(), "Bay 7 current");
  EXPECT_NE(window->action("aSeTe4")->text().toStdString().find("Bay 7 current"),
            std::string::npos);
  // A file that is none is reported and changes nothing.
  EXPECT_FALSE(window->LoadSendTelegramFile(instance.dataDirectory + "missing.kvs"));
  EXPECT_EQ(instance.send.Telegram(4).name.Get(), "Bay 7 current");
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
}

TEST_F(MainWindowTest, SendShortcutsFollowTheOptions) {
  instance.settings.options[kOptionAltSendTelegram] = 1;
  Open();
  EXPECT_EQ(window->action("aSeTe3")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F3));
  EXPECT_TRUE(window->action("aSeLi3")->shortcut().isEmpty());
  instance.settings.options[kOptionAltSendTelegram] = 0;
  instance.settings.options[kOptionCtrlSendList] = 1;
  window->ApplyShortcuts();
  EXPECT_TRUE(window->action("aSeTe3")->shortcut().isEmpty());
  EXPECT_EQ(window->action("aSeLi12")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F12));
}

TEST_F(MainWindowTest, CancelledCloseKeepsTheWindow) {
  instance.app.sendDataModified = true;
  fake.prompter.answers = {MessageResult::Cancel};
  Open();
  window->show();
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_NE(fake.prompter.messages[0].find("KivoSend.kvs"), std::string::npos);
  fake.prompter.answers = {MessageResult::No};
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(instance.app.sendDataModified);
}

}  // namespace
}  // namespace kivo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Widget tests run without a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
