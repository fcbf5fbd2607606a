// The send-telegram editor, offscreen, driven as an operator drives it: what
// it commits, the frame the core then builds of the telegram, the fields
// that refuse OK, Escape, the single-telegram file and the picker.
#include "ui/send_telegram_editor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <sstream>

#include "app/fake_platform.h"
#include "send/send_telegram.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"
#include "util/hex.h"

namespace kivo {
namespace {

using testing::RepairChecksum;
using testing::ToHex;

// An operator's edit: a text for an entry field, memo, time or date; for a
// combo box the start of an item's text or "#index"; for chlbIV "IV SU" as
// two digits 0/1. Every edit is followed by leaving the control.
struct Edit {
  const char* control;
  const char* text;
};

// The main window as the editor sees it: it asks it to apply its shortcuts
// when the editor state changes.
class MainStandIn : public QWidget {
  Q_OBJECT

 public:
  std::vector<EditorState> statesSeen;
  Q_INVOKABLE void ApplyShortcuts() { statesSeen.push_back(CurrentEditorState(this)); }
};

class SendTelegramEditorTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  Instance instance{fake.Get()};
  MainStandIn mainWindow;
  TfmSeTe* editor = nullptr;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    InitialiseSendData(instance.send, instance.texts);
  }
  void TearDown() override {
    if (OpenSendEditor(&mainWindow)) OpenSendEditor(&mainWindow)->close();
  }
  QString T(int n) const { return QString::fromStdString(instance.texts.Text(n)); }

  void Open(int n) {
    OpenSendTelegramEditor(&mainWindow, instance, n);
    editor = qobject_cast<TfmSeTe*>(OpenSendEditor(&mainWindow));
    ASSERT_NE(editor, nullptr);
  }
  bool IsOpen() const { return OpenSendEditor(&mainWindow) != nullptr; }
  template <typename W = QLineEdit>
  W* Get(const char* name) const {
    W* w = editor->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static void Send(QWidget* w, QEvent::Type type) {
    QFocusEvent event(type, Qt::TabFocusReason);
    QApplication::sendEvent(w, &event);
  }
  void Do(const Edit& e) {
    QWidget* w = Get<QWidget>(e.control);
    if (!w) return;
    Send(w, QEvent::FocusIn);
    const QString text = e.text;
    if (auto* box = qobject_cast<QComboBox*>(w)) {
      int index = text.startsWith('#') ? text.mid(1).toInt() : -1;
      for (int i = 0; i < box->count() && index < 0; ++i) {
        if (box->itemText(i).trimmed().startsWith(text)) index = i;
      }
      ASSERT_GE(index, 0) << e.control << " " << e.text;
      box->setCurrentIndex(index);
    } else if (auto* time = qobject_cast<QTimeEdit*>(w)) {
      time->setTime(QTime::fromString(text, "HH:mm:ss"));
    } else if (auto* date = qobject_cast<QDateEdit*>(w)) {
      date->setDate(QDate::fromString(text, "yyyy-MM-dd"));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
      memo->setPlainText(text);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      for (int i = 0; i < 2; ++i) {
        list->item(i)->setCheckState(text[i] == '1' ? Qt::Checked : Qt::Unchecked);
      }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(text);
    }
    Send(w, QEvent::FocusOut);
  }
  void Do(std::initializer_list<Edit> edits) {
    for (const Edit& e : edits) Do(e);
  }
  std::string FrameOf(int n) {
    const SendTelegram& t = instance.send.Telegram(n);
    OutgoingFrame out;
    EXPECT_TRUE(BuildTelegramFrame(instance.sendContext,
                                   instance.ports[static_cast<std::size_t>(t.PortIndex())], t,
                                   false, out));
    return ToHex(out.View());
  }
  static bool MarkedInvalid(const QWidget* w) {
    return w->palette().color(QPalette::Base) == QColor(0xFF, 0x80, 0x80);
  }
};

// The frame of a variable-length telegram around control, address and ASDU.
std::string Framed(const std::string& body) {
  const std::size_t length = testing::Hex(body).size();
  char head[16];
  std::snprintf(head, sizeof head, "68 %02zX %02zX 68 ", length, length);
  return RepairChecksum(head + body + " 00 16");
}

TEST_F(SendTelegramEditorTest, EditsOfEachTypeGiveTheRecordAndTheFrameOnTheLine) {
  const char* sendNoReply = "#1";  // control 0x44 moves no FCB
  struct Case {
    int telegram;
    std::vector<Edit> edits;
    std::string frame;
    const char* name = nullptr;  // the name after a type change
    int cot = -1;
  };
  const Case cases[] = {
      // DPI and SIN with a time tag of the operator's, IV set.
      {1,
       {{"cbUeb", sendNoReply},
        {"sfData", "1"},
        {"sfData2", "7"},
        {"edZeit", "08:30:15"},
        {"sfZtMs", "250"},
        {"chlbIV", "10"}},
       Framed("44 01 01 81 01 01 80 10 01 92 3B 9E 08 07")},
      // Three measured values: VSQ 3, v x 8 + q.
      {3,
       {{"cbUeb", sendNoReply},
        {"sfData", "3"},
        {"sfMw1", "100 2"},
        {"sfMw2", "-1"},
        {"sfMw3", "4095 7"}},
       Framed("44 01 03 03 02 01 80 90 22 03 F8 FF FF 7F")},
      // A float with a decimal comma, RET and FAN, SU set.
      {4,
       {{"cbUeb", sendNoReply},
        {"sfData", "-1,5"},
        {"sfData3", "5"},
        {"sfData4", "300"},
        {"edZeit", "08:30:15"},
        {"sfZtMs", "250"},
        {"chlbIV", "01"}},
       Framed("44 01 04 81 01 01 80 49 00 00 C0 BF 05 00 2C 01 92 3B 1E 88")},
      // Port 2: its address list and service list; DCO and RII.
      {10,
       {{"sfSend", "2"},
        {"cbUeb", sendNoReply},
        {"cbLA", "2"},
        {"cbUrs", "20="},
        {"sfFTyp", "160"},
        {"sfINr", "19"},
        {"sfData", "2"},
        {"sfData2", "9"}},
       Framed("44 02 14 81 14 02 A0 13 02 09"),
       nullptr,
       20},
      // TOO, TOV, FAN and ACC.
      {12,
       {{"cbUeb", sendNoReply},
        {"sfData", "2"},
        {"sfData3", "5"},
        {"sfData4", "300"},
        {"sfData2", "3"}},
       Framed("44 01 18 81 1F 01 80 00 02 05 2C 01 03")},
      // Another type renames the telegram and rebuilds the causes.
      {2,
       {{"cbUeb", sendNoReply}, {"cbTyp", "7="}, {"sfData", "12"}},
       Framed("44 01 07 81 09 01 80 40 0C"),
       "General interrogation",
       9},
      // A free ASDU: quoted characters, a lone digit; the cause is its third octet.
      {11,
       {{"cbUeb", sendNoReply}, {"cbTyp", "128="}, {"Memo", "0a 81 09 01 fe f0 \"AB\" 1"}},
       Framed("44 01 0A 81 09 01 FE F0 41 42 01"),
       "Free data unit",
       9},
      // Free octets go out as they stand.
      {9, {{"cbTyp", "129="}, {"Memo", "10 49 01 4A 16"}}, "10 49 01 4A 16", "Free octets"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    const SendTelegram before = instance.send.Telegram(c.telegram);
    Open(c.telegram);
    for (const Edit& e : c.edits) Do(e);
    Get<QPushButton>("btnOK")->click();
    EXPECT_FALSE(IsOpen());
    const SendTelegram& t = instance.send.Telegram(c.telegram);
    EXPECT_EQ(t.name.Get(), c.name ? std::string(c.name) : before.name.Get());
    if (c.cot >= 0) {
      EXPECT_EQ(t.cot, c.cot);
    }
    EXPECT_EQ(FrameOf(c.telegram), c.frame);
    EXPECT_TRUE(instance.sendContext.sendDataModified);
  }
}

TEST_F(SendTelegramEditorTest, TheFreeTypesArePresetWithWhatTheTelegramProducedBefore) {
  Open(10);  // type 20, DCO 1, RII 0
  Do({{"sfData2", "5"}, {"cbTyp", "128="}});
  EXPECT_EQ(Get<QPlainTextEdit>("Memo")->toPlainText(), " 14 81 14 01 80 10 01 05");
  EXPECT_TRUE(Get<QComboBox>("cbUrs")->isHidden());
  EXPECT_TRUE(Get("sfFTyp")->isHidden());
  // From one free type to the other the octets stay.
  Do({"cbTyp", "129="});
  EXPECT_EQ(Get<QPlainTextEdit>("Memo")->toPlainText(), " 14 81 14 01 80 10 01 05");
  // Type 23 lists the recorded disturbances of the port, or says there are none.
  Do({"cbTyp", "23="});
  EXPECT_EQ(Get<QPlainTextEdit>("Memo")->toPlainText(), T(579));
  EXPECT_TRUE(Get<QPlainTextEdit>("Memo")->isReadOnly());
}

TEST_F(SendTelegramEditorTest, AnInvalidFieldStaysMarkedAndBlocksOkUntilItIsRight) {
  struct Case {
    int telegram;
    Edit setUp;  // made before the bad edit
    Edit bad;
    const char* good;
  };
  const Case cases[] = {
      {1, {"sfBez", "x"}, {"sfData", "4"}, "3"},  // DPI 0..3
      {1, {"sfBez", "x"}, {"sfData", "on"}, "2"},
      {3, {"sfBez", "x"}, {"sfMw1", "5000"}, "4095"},
      {3, {"sfBez", "x"}, {"sfMw2", "1 8"}, "1 7"},
      {1, {"sfBez", "x"}, {"sfAnzT", "100001"}, "100000"},
      {1, {"sfBez", "x"}, {"sfWZt", "-1"}, "0"},
      {1, {"sfBez", "x"}, {"sfSend", "3"}, "1"},
      {1, {"sfBez", "x"}, {"sfINr", "256"}, "255"},
      {1, {"sfBez", "x"}, {"sfZtMs", "1000"}, "999"},
      {1, {"sfBez", "x"}, {"sfData2", ""}, "0"},
      {1, {"sfBez", "x"}, {"sfTypN", "256"}, "255"},
      {1, {"cbAnst", "#4"}, {"sfTypN", "60"}, "59"},    // a minute
      {12, {"sfBez", "x"}, {"sfData3", "256"}, "255"},  // TOV is one octet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad.text);
    const SendTelegram stored = instance.send.Telegram(c.telegram);
    instance.sendContext.sendDataModified = false;
    Open(c.telegram);
    Do({c.setUp, c.bad});
    QWidget* field = Get<QWidget>(c.bad.control);
    Get<QPushButton>("btnOK")->click();
    EXPECT_TRUE(IsOpen());
    EXPECT_TRUE(MarkedInvalid(field));
    EXPECT_EQ(editor->focusWidget(), field);
    EXPECT_TRUE(instance.send.Telegram(c.telegram).SameContent(stored));
    EXPECT_FALSE(instance.sendContext.sendDataModified);
    Do({c.bad.control, c.good});
    EXPECT_FALSE(MarkedInvalid(field));
    Get<QPushButton>("btnOK")->click();
    EXPECT_FALSE(IsOpen());
  }
}

TEST_F(SendTelegramEditorTest, EscapeAsksOnlyWhenSomethingChanged) {
  Open(5);  // the identification preset is the editor's, not a change
  Send(Get("sfFTyp"), QEvent::FocusIn);
  QTest::keyClick(Get("sfFTyp"), Qt::Key_Escape);
  EXPECT_FALSE(IsOpen());
  EXPECT_TRUE(fake.prompter.messages.empty());

  Open(2);
  Do({"sfAnzT", "5"});
  fake.prompter.answers = {MessageResult::No, MessageResult::Yes};
  QTest::keyClick(Get("sfAnzT"), Qt::Key_Escape);
  EXPECT_TRUE(IsOpen());
  QTest::keyClick(Get("sfAnzT"), Qt::Key_Escape);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(fake.prompter.messages,
            (std::vector<std::string>{instance.texts.Text(1165), instance.texts.Text(1165)}));
  EXPECT_EQ(instance.send.Telegram(2).repeatCount, 1u);
}

TEST_F(SendTelegramEditorTest, OpeningFocusEnterStatusBarAndSend) {
  instance.send.Telegram(1).sendState = kSendDue;
  Open(1);
  EXPECT_EQ(instance.send.Telegram(1).sendState, kSendIdle);
  EXPECT_EQ(editor->parentWidget(), &mainWindow);
  EXPECT_TRUE(editor->isWindow());
  EXPECT_TRUE(editor->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(editor->windowFlags() & Qt::Tool, Qt::Tool);
  EXPECT_FALSE(editor->isModal());
  EXPECT_EQ(editor->windowTitle(), T(1188) + "1" + T(1189));
  EXPECT_EQ(CurrentEditorState(&mainWindow), EditorState::Telegram);
  EXPECT_FALSE(Get<QPushButton>("btnHelp")->isEnabled());  // no help file here
  OpenSendTelegramEditor(&mainWindow, instance, 2);        // only raises the open one
  EXPECT_EQ(OpenSendEditor(&mainWindow), editor);
  EXPECT_EQ(editor->TelegramNumber(), 1);

  // The hint of the focused field; the data value's is its description.
  auto* status = Get<QStatusBar>("stbrSeTe");
  Send(Get("sfAnzT"), QEvent::FocusIn);
  EXPECT_EQ(status->currentMessage(), T(831));
  Send(Get("sfData"), QEvent::FocusIn);
  EXPECT_EQ(status->currentMessage(), "0-3 DPI: 1 = OFF, 2 = ON");
  // The arrows step the value and wrap at the bounds.
  Do({"sfData", "3"});
  QTest::keyClick(Get("sfData"), Qt::Key_Up);
  EXPECT_EQ(Get("sfData")->text(), "0");
  Get<QWidget>("udData")->findChild<QToolButton*>("udDataDown")->click();
  EXPECT_EQ(Get("sfData")->text(), "3");
  // Enter moves on; the trigger of the clock takes a minute.
  QTest::keyClick(Get("sfBez"), Qt::Key_Return);
  EXPECT_EQ(editor->focusWidget(), Get<QComboBox>("cbAnst"));
  Do({"cbAnst", "#5"});
  EXPECT_EQ(Get<QLabel>("lblTypN")->text(), T(723));

  // Send commits, starts (offline: message 870) and leaves the window open.
  Do({{"sfTypN", "15"}, {"cbTyp", "20="}});
  Send(Get<QComboBox>("cbTyp"), QEvent::FocusIn);
  Get<QPushButton>("btnSend")->click();
  EXPECT_TRUE(IsOpen());
  EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{instance.texts.Text(870)});
  const SendTelegram& t = instance.send.Telegram(1);
  EXPECT_EQ(std::tuple(t.trigger, t.triggerMinute, t.typeId), std::tuple(5u, 15, 20));
  EXPECT_TRUE(instance.sendContext.timedSendArmed);
  Get<QPushButton>("btnAbbr")->click();
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(mainWindow.statesSeen, (std::vector{EditorState::Telegram, EditorState::None}));
  // The control that had the focus has it again; the common address is
  // shown when it is separate; a secondary port answers with user data only.
  instance.general.separateCommonAddress = 1;
  instance.ports[1].params.function = PortFunction::Secondary;
  Open(1);
  EXPECT_EQ(editor->focusWidget(), Get<QComboBox>("cbTyp"));
  EXPECT_EQ(Get<QLabel>("lblLA")->text(), T(590));
  EXPECT_TRUE(Get("sfCA")->isVisibleTo(editor));
  Do({"sfSend", "2"});
  auto* services = Get<QComboBox>("cbUeb");
  EXPECT_EQ(std::tuple(services->count(), services->currentText()), std::tuple(1, T(846)));
}

TEST_F(SendTelegramEditorTest, SaveAndLoadTheSingleTelegramFileThroughTheDialogs) {
  const std::string path = fake.scratch.path() + "/one.kvt";
  std::vector<FileRequest> requests;
  Open(1);
  editor->chooseFile = [&](QWidget*, const FileRequest& request) {
    requests.push_back(request);
    return QString::fromStdString(path);
  };
  Do({{"sfBez", "Round trip"}, {"sfAnzT", "7"}, {"sfData", "2"}, {"sfData2", "42"}});
  editor->findChild<QAction*>("miSave")->trigger();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].caption, T(1339));
  EXPECT_TRUE(requests[0].save);
  EXPECT_EQ(requests[0].path,
            QString::fromStdString(instance.dataDirectory) + T(1127) + "1." + T(1337));
  EXPECT_EQ(instance.send.Telegram(1).repeatCount, 7u);  // saving commits
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string lines =
      "Round trip;0;0;7;2;0;0;0;1;0;1;1;128;16;2;0;0;\r\n0;42;0;0;0;0;\r\n0;0;";
  EXPECT_EQ(content.str().substr(0, lines.size()), lines);

  // Loading takes the file into the fields; the stored telegram waits for OK.
  Do({{"sfBez", "Other"}, {"sfData", "1"}, {"sfData2", "0"}});
  instance.sendContext.sendDataModified = false;
  editor->findChild<QAction*>("miLoad")->trigger();
  EXPECT_EQ(requests.back().caption, T(1338));
  EXPECT_FALSE(requests.back().save);
  EXPECT_EQ(Get("sfBez")->text(), "Round trip");
  EXPECT_EQ(Get("sfData")->text(), "2");
  EXPECT_EQ(Get("sfData2")->text(), "42");
  EXPECT_TRUE(instance.sendContext.sendDataModified);

  // A file of another type lays the fields out anew and takes the type's name.
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << "Whatever;1;7;1;2;0;0;1;1;0;20;20;128;16;2;0;0;\r\n0;9;0;0;0;0;\r\n0;\r\n";
  editor->findChild<QAction*>("miLoad")->trigger();
  EXPECT_EQ(Get<QComboBox>("cbTyp")->currentText(), " 20=" + T(90));
  EXPECT_EQ(Get("sfBez")->text(), T(90));
  EXPECT_EQ(Get<QLabel>("lblData2")->text(), T(593));
  EXPECT_EQ(Get("sfData2")->text(), "9");
  EXPECT_EQ(Get("sfTypN")->text(), "7");
  EXPECT_TRUE(Get<QLineEdit>("sfData3")->isHidden());
  // One line is no telegram file: nothing changes.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "Broken;1;\r\n";
  editor->findChild<QAction*>("miLoad")->trigger();
  EXPECT_EQ(Get("sfBez")->text(), T(90));
  Get<QPushButton>("btnOK")->click();
  const SendTelegram& t = instance.send.Telegram(1);
  EXPECT_EQ(std::tuple(t.typeId, t.cot, t.service, t.data2, t.trigger, t.triggerType),
            std::tuple(20, 20, 1u, 9u, 1u, 7));
  EXPECT_EQ(FrameOf(1), Framed("44 01 14 81 14 01 80 10 02 09"));
}

TEST_F(SendTelegramEditorTest, ThePickerWritesTheChosenValueIntoItsField) {
  // Answers the modal picker with its item `row` once it is shown.
  auto choose = [](int row, QString* shown) {
    QTimer::singleShot(0, [row, shown] {
      auto* picker = qobject_cast<TfmTyp*>(QApplication::activeModalWidget());
      ASSERT_NE(picker, nullptr);
      *shown = picker->windowTitle();
      picker->list()->setCurrentRow(row);
      QTest::keyClick(picker, Qt::Key_Return);
    });
  };
  instance.groupNames.SetDefaults(instance.texts);
  Open(12);  // type 24
  QString caption;
  choose(2, &caption);  // 160=Overcurrent protection
  QTest::keyClick(Get("sfFTyp"), Qt::Key_F12);
  EXPECT_EQ(caption, T(1168));
  EXPECT_EQ(Get("sfFTyp")->text(), "160");
  choose(1, &caption);  // the second TOO code, 2
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
  QApplication::sendEvent(Get("sfData"), &click);
  EXPECT_EQ(caption, T(1369));
  EXPECT_EQ(Get("sfData")->text(), "2");
  // Escape leaves the field as it was.
  QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
  QTest::keyClick(Get("sfINr"), Qt::Key_F12);
  EXPECT_EQ(Get("sfINr")->text(), "0");
  Get<QPushButton>("btnOK")->click();
  EXPECT_EQ(std::tuple(instance.send.Telegram(12).fun, instance.send.Telegram(12).value),
            std::tuple(160, 2u));
}

}  // namespace
}  // namespace kivo

#include "send_telegram_editor_test.moc"
