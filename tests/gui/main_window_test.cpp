// The main window, offscreen: tool bar from the menu, online controls, language
// and view switches, send actions, shortcuts, placement and closing.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>

#include "app/data_directory.h"
#include "app/fake_platform.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "link/port_control.h"
#include "log/log_store.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"
#include "send/send_execution.h"
#include "ui/editor_support.h"
#include "ui/qt_event_loop.h"
#include "util/file_io.h"

namespace kivo {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  // Port number 1 is a pseudo-terminal; every other number names no device.
  PseudoTerminal pty;
  TermiosPortEnumerator devices{{{1, pty.slavePath()}}};
  Instance instance{Platform{fake.clock, fake.lock, fake.registry, fake.folders, fake.prompter,
                             &devices, &fake.clock}};
  std::unique_ptr<TfmMain> window;
  const std::vector<std::string>& messages = fake.prompter.messages;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
  }
  void Open(const std::vector<std::string>& args = {}) {
    window = std::make_unique<TfmMain>(instance, args);
    window->timer()->stop();  // the test drives the ticks
  }
  QString T(int n) { return QString::fromStdString(instance.texts.Text(n)); }
  std::string Caption(const char* name) { return window->action(name)->text().toStdString(); }
  // Status panel, online button text and check, miOnline and miOffline checks.
  std::tuple<QString, QString, bool, bool, bool> OnlineControls() {
    return {window->statusPanel(0)->text(), window->onlineButton()->text(),
            window->onlineButton()->isChecked(), window->action("miOnline")->isChecked(),
            window->action("miOffline")->isChecked()};
  }
};

TEST_F(MainWindowTest, ToolBarMenusPopupTitleAndTheLanguageAndViewSwitches) {
  Open();
  QStringList labels;
  for (QToolButton* b : window->menuToolBar()->findChildren<QToolButton*>()) {
    if (b->menu()) labels << b->text();
  }
  EXPECT_EQ(labels, (QStringList{T(504), T(505), T(506), T(507), T(508), T(509), T(510), T(511)}));
  EXPECT_EQ(window->action("miOnline")->text(), T(523));
  EXPECT_EQ(window->action("miExit")->text(), T(1060));
  EXPECT_EQ(window->menuBar()->actions().size(), 0);
  auto* popup = window->findChild<QMenu*>("pmMain");
  ASSERT_NE(popup, nullptr);
  // The view menu's items, then the copy of the shown telegrams.
  EXPECT_EQ(popup->actions().mid(0, window->menu("miView")->actions().size()),
            window->menu("miView")->actions());
  EXPECT_EQ(popup->actions().back(), window->action("miLogCopy"));
  EXPECT_EQ(window->action("miLogCopy")->text(), T(1160));
  EXPECT_TRUE(window->windowTitle().startsWith(T(499)));
  EXPECT_TRUE(window->windowTitle().endsWith("KivoSend.kvs"));

  const QString english = window->action("miExit")->text();  // the language switch
  window->action("miGer")->trigger();
  QApplication::processEvents();
  EXPECT_EQ(instance.settings.language, 0);
  EXPECT_TRUE(window->action("miGer")->isChecked());
  EXPECT_FALSE(window->action("miUsa")->isChecked());
  EXPECT_NE(window->action("miExit")->text(), english);
  EXPECT_EQ(window->action("miExit")->text(), T(1060));

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

TEST_F(MainWindowTest, OnlineControlsFollowTheStateAndNeedAPort) {
  instance.settings.online = 1;  // applied after six ticks; no port: message 1137
  Open({"ONLINE"});
  for (int i = 0; i < 6; ++i) window->oOnTimer();
  EXPECT_TRUE(messages.empty());
  window->oOnTimer();
  const std::vector<std::string> noPort = {instance.texts.Text(1137)};
  EXPECT_EQ(messages, noPort);
  const auto offline = std::tuple(T(673), T(1148), false, false, true);
  EXPECT_EQ(OnlineControls(), offline);
  fake.prompter.messages.clear();
  window->onlineButton()->click();
  EXPECT_EQ(messages, noPort);
  EXPECT_EQ(OnlineControls(), offline);
  // A number without a device: both reported, and the window stays offline.
  fake.prompter.messages.clear();
  instance.ports[1].params.portNumber = 9;
  window->onlineButton()->click();
  EXPECT_EQ(messages, (std::vector<std::string>{instance.texts.Text(1490).replace(
                                                    instance.texts.Text(1490).find("%s"), 2, "9"),
                                                instance.texts.Text(1491)}));
  EXPECT_EQ(OnlineControls(), offline);
  EXPECT_FALSE(instance.Online());
  // One port that opens is enough to be online.
  instance.ports[0].params.portNumber = 1;
  window->onlineButton()->click();
  EXPECT_EQ(OnlineControls(), std::tuple(T(674), T(1149), true, true, false));
  EXPECT_TRUE(instance.ports[0].open);
  EXPECT_FALSE(instance.ports[1].open);
  window->action("miOffline")->trigger();
  EXPECT_EQ(OnlineControls(), offline);
  EXPECT_FALSE(instance.ports[0].open);
}

TEST_F(MainWindowTest, ShortcutsFollowTheOptions) {
  instance.ports[0].params.portNumber = 1;
  Open();
  // Each option alone gives its action its key and no other option does.
  const struct {
    int option;
    const char* action;
    QKeySequence key;
  } table[] = {
      {kOptionF8Online, "aGoOnl", QKeySequence(Qt::Key_F8)},
      {kOptionF9Display, "miAusgLog", QKeySequence(Qt::Key_F9)},
      {kOptionF11FilterOnOff, "miAFiltAE", QKeySequence(Qt::Key_F11)},
      {kOptionF12Filter, "miAFilter", QKeySequence(Qt::Key_F12)},
      {kOptionShiftEditTelegram, "aPaTe3", QKeySequence(Qt::SHIFT | Qt::Key_F3)},
      {kOptionAltSendTelegram, "aSeTe3", QKeySequence(Qt::ALT | Qt::Key_F3)},
      {kOptionShiftCtrlEditList, "aPaLi12", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F12)},
      {kOptionCtrlSendList, "aSeLi12", QKeySequence(Qt::CTRL | Qt::Key_F12)},
  };
  for (const auto& on : table) {
    instance.settings.options.fill(0);
    instance.settings.options[static_cast<std::size_t>(on.option)] = 1;
    window->ApplyShortcuts();
    for (const auto& row : table) {
      EXPECT_EQ(window->action(row.action)->shortcut(),
                row.option == on.option ? row.key : QKeySequence())
          << "option " << on.option << " action " << row.action;
    }
  }
  // The link-test items are there only with their option.
  EXPECT_FALSE(window->action("miLinkT1")->isEnabled());
  instance.settings.options[kOptionLinkTest] = 1;
  window->ApplyShortcuts();
  EXPECT_TRUE(window->action("miLinkT2")->isEnabled());
  // While a send editor is open F12 reaches its picker, not the filter.
  instance.settings.options[kOptionF12Filter] = 1;
  auto* editor = new QWidget(window.get(), Qt::Tool);
  editor->setProperty(kSendEditorProperty, static_cast<int>(EditorState::Telegram));
  window->ApplyShortcuts();
  EXPECT_TRUE(window->action("miAFilter")->shortcut().isEmpty());
  editor->setProperty(kSendEditorProperty, 0);
  window->ApplyShortcuts();
  EXPECT_EQ(window->action("miAFilter")->shortcut(), QKeySequence(Qt::Key_F12));
  instance.settings.options[kOptionF8Online] = 1;
  window->ApplyShortcuts();
  window->action("aGoOnl")->trigger();
  EXPECT_TRUE(instance.Online());
}

TEST_F(MainWindowTest, SendActionsCaptionsStartsAndFiles) {
  instance.send.Telegram(2).trigger = kTriggerReceivedType;
  instance.send.Telegram(2).triggerType = 7;
  Open();
  EXPECT_EQ(Caption("aSeTe2"), SendCaption(instance.sendContext, 2));
  EXPECT_EQ(Caption("aSeTe2").substr(0, 1), "2");
  EXPECT_EQ(Caption("aSeLi12"), SendCaption(instance.sendContext, 24));
  EXPECT_EQ(Caption("aPaLi12"), SendCaption(instance.sendContext, 24) + "...");
  EXPECT_EQ(window->menu("miPaTe")->actions().size(), 12);
  // A right click on a send button triggers its edit action.
  QSignalSpy edited(window->action("aPaLi12"), &QAction::triggered);
  QWidget* button =
      window->findChild<QToolBar*>("tbrSendLists")->widgetForAction(window->action("aSeLi12"));
  ASSERT_NE(button, nullptr);
  emit button->customContextMenuRequested(QPoint(2, 2));
  EXPECT_EQ(edited.count(), 1);
  window->action("aSeTe2")->trigger();  // offline: refused with its message
  EXPECT_EQ(messages, std::vector<std::string>{instance.texts.Text(870)});
  instance.send.Telegram(2).name.Set("Reply");
  window->SendCaptionChanged(2);
  EXPECT_NE(Caption("aSeTe2").find("Reply"), std::string::npos);
  EXPECT_EQ(Caption("aPaTe2"), Caption("aSeTe2") + "...");
  // The stop item is enabled only while something is sent.
  emit window->menu("miSend")->aboutToShow();
  EXPECT_FALSE(window->action("miSeStop")->isEnabled());
  instance.send.Telegram(1).sendState = kSendDue;
  emit window->menu("miSend")->aboutToShow();
  ASSERT_TRUE(window->action("miSeStop")->isEnabled());
  window->action("miSeStop")->trigger();
  EXPECT_EQ(instance.send.Telegram(1).sendState, kSendIdle);

  // Send-telegram files saved and loaded through the file menu.
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
  EXPECT_NE(Caption("aSeTe4").find("Bay 7 current"), std::string::npos);
  // A file that is none is reported and changes nothing.
  EXPECT_FALSE(window->LoadSendTelegramFile(instance.dataDirectory + "missing.kvs"));
  EXPECT_EQ(instance.send.Telegram(4).name.Get(), "Bay 7 current");
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(MainWindowTest, CancelledCloseKeepsTheWindowAndClosingStoresPlacement) {
  instance.settings.placement = {40, 30, 500, 700, 1};
  instance.app.sendDataModified = true;
  fake.prompter.answers = {MessageResult::Cancel, MessageResult::No};
  Open();
  window->ShowWithPlacement();
  EXPECT_EQ(window->geometry().width(), 700);
  window->setGeometry(50, 60, 640, 480);
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("KivoSend.kvs"), std::string::npos);
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(instance.app.sendDataModified);
  const WindowPlacement p = {.top = 60, .left = 50, .height = 480, .width = 640, .state = 1};
  EXPECT_EQ(instance.settings.placement, p);
  Settings stored;
  ASSERT_TRUE(LoadSettings(SettingsFileName(instance), stored));
  EXPECT_EQ(stored.placement, p);
  EXPECT_EQ(stored.language, 1);
}

// The log display: the keys of the key table and the scroll bar move the
// view; with the switch keys on, Escape and the arrows change the displays.
TEST_F(MainWindowTest, LogDisplayKeysScrollBarAndSwitchKeys) {
  Open();
  window->resize(900, 600);
  window->show();
  LogStore& log = instance.logStore;
  TLogEntry poll;
  poll.frameKind = kFrameFixed;
  poll.status = 40;
  poll.channel = 1;
  poll.SetFrame(std::vector<std::uint8_t>{0x10, 0x5B, 0x01, 0x5C, 0x16});
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(log.Append(poll));
  window->ShowLogDisplay();
  EXPECT_TRUE(window->scrollBar()->isVisible());
  EXPECT_FALSE(window->statisticsTable()->isVisible());
  EXPECT_GE(window->scrollBar()->value(), 950);  // the last screenful
  const QStringList end = window->canvas()->Lines();
  ASSERT_FALSE(end.isEmpty());
  EXPECT_EQ(end.back(), T(1191));

  auto first = [&] {
    return window->canvas()->view().FirstPaintedSeqNo() - log.Index().firstSeqNo;
  };
  auto key = [&](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, k, m);
    QApplication::sendEvent(window->canvas(), &press);
  };
  key(Qt::Key_Home);
  EXPECT_EQ(first(), 0u);
  EXPECT_EQ(window->scrollBar()->value(), 0);
  key(Qt::Key_PageDown);
  EXPECT_EQ(first(), 5u);
  key(Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_EQ(first(), 55u);
  key(Qt::Key_Up);
  EXPECT_EQ(first(), 54u);
  key(Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(first(), 0u);
  window->scrollBar()->setSliderPosition(500);  // dragging the thumb
  EXPECT_EQ(first(), 150u);
  EXPECT_EQ(window->scrollBar()->value(), 1000 * 150 / 299);
  window->scrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_GE(window->scrollBar()->value(), 950);
  EXPECT_EQ(window->canvas()->Lines().back(), T(1191));

  // The export form has its time and link lines whatever the toggles say.
  window->action("miExp")->trigger();
  window->action("miZeit")->trigger();
  EXPECT_EQ(instance.settings.showTime, 1);
  window->action("miLog")->trigger();
  window->action("miZeit")->trigger();
  EXPECT_EQ(instance.settings.showTime, 0);

  key(Qt::Key_Escape);  // switch keys off: nothing
  EXPECT_EQ(instance.settings.onlineDisplay, 0);
  instance.settings.options[kOptionF9Display] = 1;
  key(Qt::Key_Escape);
  EXPECT_EQ(instance.settings.onlineDisplay, 1);
  EXPECT_FALSE(log.ReaderOpen());
  EXPECT_TRUE(window->statisticsTable()->isVisible());
  key(Qt::Key_Down);
  EXPECT_EQ(instance.settings.onlineDisplay, 0);
  EXPECT_TRUE(log.ReaderOpen());
  // The status bar names the display and the log.
  EXPECT_EQ(window->statusPanel(1)->text(), T(1142));
  EXPECT_TRUE(
      window->statusPanel(4)->text().endsWith(QString::fromStdString(FileNameOf(log.FileName()))));
}

// The window's event loop serves a real port: a secondary on one end of a
// pseudo-terminal answers a request written to the other end.
TEST(MainWindowOnAPort, ASecondaryAnswersOverAPseudoTerminal) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  testing::FakePlatform fake;
  PosixClock clock;
  QtEventLoop loop;
  TermiosPortEnumerator devices({{7, pty.slavePath()}});
  Instance instance{
      Platform{clock, fake.lock, fake.registry, fake.folders, fake.prompter, &devices, &loop}};
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  PortParams& p = instance.ports[0].params;
  p.portNumber = 7;
  p.function = PortFunction::Secondary;
  PortService service(instance, loop);
  TfmMain window(instance, {}, &service);
  window.resize(900, 600);
  window.show();
  std::vector<TLogEntry> logged;
  instance.logStore.hooks.stored = [&logged](const TLogEntry& e) { logged.push_back(e); };
  window.aGoOnlClick();
  ASSERT_TRUE(instance.ports[0].open);
  EXPECT_EQ(service.Watched(0), instance.ports[0].serial->Descriptor());

  const std::vector<std::uint8_t> request{0x10, 0x49, 0x01, 0x4A, 0x16};  // status of link
  ASSERT_EQ(::write(pty.master(), request.data(), request.size()), 5);
  std::vector<std::uint8_t> answer;
  const std::uint32_t start = clock.NowMs();
  while (answer.size() < 5 && clock.NowMs() - start < 3000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    pollfd pfd{pty.master(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0) {
      std::uint8_t buffer[64];
      const ssize_t n = ::read(pty.master(), buffer, sizeof buffer);
      if (n > 0) answer.insert(answer.end(), buffer, buffer + n);
    }
  }
  // The answer is a fixed frame of address 1.
  ASSERT_EQ(answer.size(), 5u);
  EXPECT_EQ(answer[0], 0x10);
  EXPECT_EQ(answer[2], 0x01);
  EXPECT_EQ(answer[4], 0x16);
  std::erase_if(logged, [](const TLogEntry& e) { return e.frameKind == kFrameEvent; });
  ASSERT_EQ(logged.size(), 2u);  // the request received and the answer sent
  const auto first = logged[0].Frame();
  EXPECT_EQ(std::vector<std::uint8_t>(first.begin(), first.end()), request);
  EXPECT_EQ(logged[0].status, 40);
  const auto second = logged[1].Frame();
  EXPECT_EQ(std::vector<std::uint8_t>(second.begin(), second.end()), answer);
  // The online display shows both, one per tick, below its header.
  for (int i = 0; i < 8; ++i) window.oOnTimer();
  const QString shown = window.canvas()->Lines().join("\n");
  EXPECT_TRUE(shown.contains("$49")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("$0B")) << shown.toStdString();
  EXPECT_TRUE(window.statisticsTable()->isVisible());
  EXPECT_EQ(window.statisticsTable()->item(1, 1)->text().trimmed(), "1");  // received
  EXPECT_EQ(window.statisticsTable()->item(1, 3)->text().trimmed(), "1");  // sent

  // The device goes away: the port closes with its event and the reason,
  // and with no port left the window goes offline and stays usable.
  fake.prompter.messages.clear();
  pty.CloseMaster();
  for (int i = 0; i < 50 && instance.ports[0].open; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_FALSE(instance.ports[0].open);
  ASSERT_EQ(fake.prompter.messages.size(), 1u);
  EXPECT_NE(fake.prompter.messages[0].find(pty.slavePath()), std::string::npos);
  EXPECT_EQ(logged.back().frameKind, kFrameEvent);
  EXPECT_EQ(logged.back().status, 49);
  window.oOnTimer();
  EXPECT_FALSE(instance.Online());
  EXPECT_FALSE(window.onlineButton()->isChecked());
  EXPECT_EQ(service.Watched(0), -1);
  window.ShowLogDisplay();
  EXPECT_TRUE(window.canvas()->Lines().join("\n").contains("$0B"));
  instance.logStore.hooks.stored = nullptr;
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {

// The switch of the display filter: only for a filter that restricts, its
// caption and the status panel follow it.
TEST_F(MainWindowTest, TheDisplayFilterSwitchFollowsTheFilter) {
  Open();
  // Every item of the main menu leads somewhere; the few that depend on a
  // state or an option wait for it.
  const QStringList waiting = {"miSeStop", "miAFiltAE", "miLinkT1", "miLinkT2"};
  for (QToolButton* button : window->menuToolBar()->findChildren<QToolButton*>()) {
    if (!button->menu()) continue;
    for (QAction* item : button->menu()->actions()) {
      if (item->isSeparator() || item->objectName().isEmpty()) continue;
      EXPECT_EQ(item->isEnabled(), !waiting.contains(item->objectName()))
          << item->objectName().toStdString();
    }
  }
  QAction* toggle = window->action("miAFiltAE");
  EXPECT_FALSE(toggle->isEnabled());
  instance.general.displayFilter.restricting = 1;
  instance.general.displayFilter.enabled = 1;
  window->LabelControls();
  ASSERT_TRUE(toggle->isEnabled());
  EXPECT_EQ(toggle->text(), T(687));
  const QString panelOn = window->statusPanel(3)->text();
  toggle->trigger();
  EXPECT_EQ(instance.general.displayFilter.enabled, 0u);
  EXPECT_EQ(toggle->text(), T(686));
  EXPECT_NE(window->statusPanel(3)->text(), panelOn);
  instance.general.displayFilter.restricting = 0;
  window->aAFiltAEClick();  // nothing to switch: said so, nothing changes
  EXPECT_EQ(messages.back(), instance.texts.Text(1215));
  EXPECT_EQ(instance.general.displayFilter.enabled, 0u);
}

}  // namespace
}  // namespace kivo
