// The send-list editor, offscreen: rows typed into the table go out on the
// line in their order and the cursor follows the passes; invalid cells and
// fields block OK; the clipboard, the list files and the locked rows.
#include "ui/send_list_editor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "send/send_text_files.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"
#include "util/hex.h"

namespace kivo {
namespace {

const QColor kError(0xFF, 0x80, 0x80);

// Tells the open editor of the main window when a pass ends, as the main
// window does, and remembers where its cursor went.
struct PassWatch : AppEvents {
  QWidget* mainWindow = nullptr;
  std::vector<int> cursorRows;
  void ListPassEnded(int list) override {
    NotifyListPassEnded(mainWindow, list);
    if (auto* editor = qobject_cast<TfmSeLi*>(OpenSendEditor(mainWindow))) {
      cursorRows.push_back(editor->table()->currentRow() + 1);
    }
  }
};

// Answers the next picker: chooses the item that starts with `item`, or
// leaves it with an empty `item`; keeps its caption.
void WhenPicker(QString item, QString* caption) {
  QTimer::singleShot(0, [item, caption] {
    auto* picker = qobject_cast<TfmTyp*>(QApplication::activeModalWidget());
    ASSERT_NE(picker, nullptr);
    *caption = picker->windowTitle();
    const auto found = picker->list()->findItems(item, Qt::MatchStartsWith);
    if (item.isEmpty() || found.isEmpty()) {
      picker->done(TfmTyp::kLeft);
      return;
    }
    picker->list()->setCurrentItem(found.front());
    picker->done(TfmTyp::kChosen);
  });
}

class ListEditorTest : public testing::AppTest {
 protected:
  QWidget mainWindow;
  std::vector<std::string> received;  // variable frames port 2 received, as hex

  void SetUp() override {
    Start();
    ASSERT_TRUE(ReloadTexts(instance, 1));
    QApplication::clipboard()->clear();
  }
  TfmSeLi* Open(int n) {
    OpenSendListEditor(&mainWindow, instance, n);
    return qobject_cast<TfmSeLi*>(OpenSendEditor(&mainWindow));
  }
  // Types into a cell's editor and ends with Enter, as the operator does.
  void Type(TfmSeLi* editor, int row, int column, const QString& text) {
    ListRowTable* table = editor->table();
    table->setCurrentCell(row - 1, column);
    table->editItem(table->item(row - 1, column));
    auto* edit = qobject_cast<QLineEdit*>(table->indexWidget(table->currentIndex()));
    ASSERT_NE(edit, nullptr) << row << "/" << column;
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  void Check(TfmSeLi* editor, int row, bool on) {
    editor->table()
        ->item(row - 1, TfmSeLi::kColActive)
        ->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  QString Cell(TfmSeLi* editor, int row, int column) {
    return editor->table()->item(row - 1, column)->text();
  }
  bool Marked(TfmSeLi* editor, int row, int column) {
    return editor->table()->item(row - 1, column)->background().color() == kError;
  }
  static QPushButton* Button(TfmSeLi* editor, const char* name) {
    return editor->findChild<QPushButton*>(name);
  }
  static QLineEdit* Field(TfmSeLi* editor, const char* name) {
    return editor->findChild<QLineEdit*>(name);
  }
  // Closes what is open and lets the deferred deletion run.
  void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  std::vector<std::uint8_t> StoredBytes(int n) {
    std::vector<std::uint8_t> bytes(SendList::kSize);
    instance.send.List(n).Encode(bytes);
    return bytes;
  }

  // Port 1 a primary and port 2 a secondary, both for address 1, on the two
  // ends of the simulated line; online until the link stands.
  void OnlineWithLink() {
    for (int i = 0; i < 2; ++i) {
      PortParams& p = instance.ports[static_cast<std::size_t>(i)].params;
      p.portNumber = static_cast<std::uint32_t>(i + 1);
      p.function = i == 0 ? PortFunction::Primary : PortFunction::Secondary;
      p.pollCycle = 100;
      AddressList one;
      one.addresses = {1, 255};
      one.count = 1;
      ApplyAddressList(p, one);
    }
    instance.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      const auto frame = e.Frame();
      if (e.channel == 3 && e.frameKind != kFrameEvent && !frame.empty() && frame[0] == 0x68) {
        received.push_back(testing::ToHex(frame));
      }
      return true;
    };
    GoOnline(instance);
    ASSERT_TRUE(instance.Online());
    Ticks(60);
    received.clear();
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      OnTimerTick(instance);
      fake.clock.Advance(kTimerIntervalMs);
    }
  }
};

// The address, data unit identifier and elements of a received frame, time
// tags as "**".
std::string Unit(const std::string& hex) {
  const testing::Octets f = testing::Hex(hex);
  std::string s;
  const std::size_t end = f.size() - 2;
  for (std::size_t i = 5; i < end; ++i) {
    const bool timeTag = f[6] == 1 && i >= 13 && i < 17;
    s += timeTag ? std::string("**") : testing::ToHex(std::span(&f[i], 1));
    if (i + 1 < end) s += ' ';
  }
  return s;
}

TEST_F(ListEditorTest, TypedRowsGoOutInTheirOrderFromTheCursorRowAndTheCursorFollowsThePasses) {
  OnlineWithLink();
  PassWatch watch;
  watch.mainWindow = &mainWindow;
  instance.events = &watch;
  TfmSeLi* editor = Open(2);
  ASSERT_NE(editor, nullptr);
  // Row 1 type 1; row 2 stays inactive; row 3 type 3, two values of 100;
  // row 4 a general command; row 5 an order with its TOO.
  Check(editor, 1, true);
  Type(editor, 1, TfmSeLi::kColInf, "16");
  Type(editor, 1, TfmSeLi::kColData1, "2");
  Type(editor, 1, TfmSeLi::kColData2, "7");
  EXPECT_EQ(Cell(editor, 1, TfmSeLi::kColData1), " 2=ON");
  Type(editor, 2, TfmSeLi::kColType, "20");
  Check(editor, 3, true);
  Type(editor, 3, TfmSeLi::kColType, "3");
  Type(editor, 3, TfmSeLi::kColCause, "2");
  Type(editor, 3, TfmSeLi::kColInf, "144");
  Type(editor, 3, TfmSeLi::kColData1, "2");
  Type(editor, 3, TfmSeLi::kColData2, "100");
  Check(editor, 4, true);
  Type(editor, 4, TfmSeLi::kColType, "20");
  Type(editor, 4, TfmSeLi::kColCause, "20");
  Type(editor, 4, TfmSeLi::kColInf, "19");
  Type(editor, 4, TfmSeLi::kColData1, " 1=OFF");
  Type(editor, 4, TfmSeLi::kColData2, "9");
  Check(editor, 5, true);
  Type(editor, 5, TfmSeLi::kColType, "24");
  Type(editor, 5, TfmSeLi::kColData1, "2");
  Type(editor, 5, TfmSeLi::kColData2, "300");
  // Enter after the last column went on to the first data column below.
  EXPECT_EQ(editor->table()->currentRow(), 5);
  EXPECT_EQ(editor->table()->currentColumn(), TfmSeLi::kColActive);
  Field(editor, "sfAnzO")->setText("2");
  Field(editor, "sfAnzT")->setText("2");
  editor->table()->setCurrentCell(2, TfmSeLi::kColType);  // start at row 3
  Button(editor, "btnSend")->click();
  EXPECT_TRUE(fake.prompter.messages.empty());
  EXPECT_EQ(instance.send.List(2).activeRows, 4u);
  Ticks(200);
  // Two passes of two rows from row 3: rows 3, 4, then 5 and 1.
  const std::vector<std::string> expected = {
      "01 03 02 02 01 80 90 20 03 20 03",     // two measured values 100, quality 0
      "01 14 81 14 01 80 13 01 09",           // DCO 1, RII 9
      "01 18 81 1F 01 80 00 02 01 2C 01 00",  // cause 31 of its own; TOO 2, FAN 300
      "01 01 81 01 01 80 10 02 ** ** ** ** 07"};
  std::vector<std::string> units;
  for (const std::string& hex : received) units.push_back(Unit(hex));
  EXPECT_EQ(units, expected);
  EXPECT_EQ(watch.cursorRows, (std::vector<int>{5, 3}));
  EXPECT_EQ(instance.send.List(2).notifyWindow, 1u);
  // OK keeps the cursor in the list and no longer asks for the passes.
  Button(editor, "btnOK")->click();
  Settle();
  EXPECT_EQ(OpenSendEditor(&mainWindow), nullptr);
  EXPECT_EQ(instance.send.List(2).notifyWindow, 0u);
  EXPECT_EQ(instance.send.List(2).editorRow, 3u);
  instance.events = nullptr;
}

TEST_F(ListEditorTest, OpeningOnceInvalidCellsAndFieldsBlockOkAndEscapeAsksOnlyAfterAChange) {
  instance.send.List(1).editorRow = 50;
  instance.send.List(1).editorCol = TfmSeLi::kColFun;
  const std::vector<std::uint8_t> before = StoredBytes(1);
  TfmSeLi* editor = Open(1);
  ASSERT_NE(editor, nullptr);
  // The cursor where the editor left the list, its row at the top.
  EXPECT_EQ(editor->table()->currentRow(), 49);
  EXPECT_EQ(editor->table()->currentColumn(), TfmSeLi::kColFun);
  EXPECT_EQ(editor->table()->rowAt(0), 49);
  EXPECT_EQ(editor->windowTitle(), "Send list 1 (edit)");
  EXPECT_EQ(editor->parentWidget(), &mainWindow);
  EXPECT_TRUE(editor->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(CurrentEditorState(&mainWindow), EditorState::List);
  OpenSendListEditor(&mainWindow, instance, 3);  // only brings the open one up
  EXPECT_EQ(mainWindow.findChildren<TfmSeLi*>().size(), 1u);
  EXPECT_EQ(editor->ListNumber(), 1);
  EXPECT_EQ(Cell(editor, 400, TfmSeLi::kColNumber), "400");

  // Type 1 admits causes 1, 7, 9, 11, 12, 20, 21; a cause counts modulo 64.
  const struct {
    int column;
    const char* text;
  } invalid[] = {
      {TfmSeLi::kColType, "114"},  {TfmSeLi::kColType, "12"},   {TfmSeLi::kColType, "x"},
      {TfmSeLi::kColCause, "3"},   {TfmSeLi::kColCause, "256"}, {TfmSeLi::kColFun, "256"},
      {TfmSeLi::kColInf, "-1"},    {TfmSeLi::kColData1, "4"},   {TfmSeLi::kColData1, "ON"},
      {TfmSeLi::kColData2, "256"},
  };
  for (const auto& cell : invalid) {
    Type(editor, 7, cell.column, cell.text);
    EXPECT_TRUE(Marked(editor, 7, cell.column)) << cell.text;
    EXPECT_FALSE(editor->FieldsValid()) << cell.text;
    Button(editor, "btnOK")->click();
    Settle();
    ASSERT_EQ(OpenSendEditor(&mainWindow), editor) << cell.text;
    EXPECT_EQ(StoredBytes(1), before) << cell.text;
    EXPECT_EQ(editor->table()->currentColumn(), cell.column);  // shown to the operator
    Type(editor, 7, cell.column, cell.column == TfmSeLi::kColData1 ? " 1=OFF" : "1");
    EXPECT_FALSE(Marked(editor, 7, cell.column)) << cell.text;
  }
  Type(editor, 7, TfmSeLi::kColCause, "65");
  EXPECT_TRUE(editor->FieldsValid());
  for (const char* name : {"sfAnzO", "sfSend", "sfWZt"}) {
    Field(editor, name)->setText("1000001");
    EXPECT_FALSE(editor->FieldsValid()) << name;
    Button(editor, "btnSend")->click();
    EXPECT_EQ(StoredBytes(1), before) << name;
    Field(editor, name)->setText("1");
  }
  // The type rule: 2 lies in type 3's range; a float out of sense becomes
  // 10000; a cause that type 20 does not admit is chosen again.
  Type(editor, 8, TfmSeLi::kColData1, "2");
  Type(editor, 8, TfmSeLi::kColType, "3");
  EXPECT_EQ(editor->WorkCopy().Row(8).data1, 2u);
  Type(editor, 8, TfmSeLi::kColType, "4");
  EXPECT_EQ(Cell(editor, 8, TfmSeLi::kColData1), "10000");
  Type(editor, 8, TfmSeLi::kColCause, "9");
  Type(editor, 8, TfmSeLi::kColType, "20");
  EXPECT_EQ(Cell(editor, 8, TfmSeLi::kColCause), "20");

  // A change makes Escape ask; No keeps the window, Yes leaves it unchanged.
  fake.prompter.answers = {MessageResult::No, MessageResult::Yes};
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{T(1165)});
  ASSERT_EQ(OpenSendEditor(&mainWindow), editor);
  QTest::keyClick(editor, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(OpenSendEditor(&mainWindow), nullptr);
  EXPECT_EQ(StoredBytes(1), before);
  // Unchanged: Escape closes without a question.
  editor = Open(1);
  editor->table()->setCurrentCell(30, TfmSeLi::kColFun);
  QTest::keyClick(editor, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(OpenSendEditor(&mainWindow), nullptr);
  EXPECT_EQ(fake.prompter.messages.size(), 2u);  // the two answers above
}

TEST_F(ListEditorTest, HeaderFieldsFollowTriggerPortAndCommonAddressAndAreCommittedOnOk) {
  instance.general.separateCommonAddress = 1;
  PortParams& port2 = instance.ports[1].params;
  port2.function = PortFunction::Secondary;
  AddressList addresses;
  addresses.addresses = {3, 4, 255};
  addresses.count = 2;
  ApplyAddressList(port2, addresses);
  instance.send.List(8).Row(1).typeId = 3;
  TfmSeLi* editor = Open(8);
  // The status bar: the hint of a field, of a cell by the row's type.
  auto* status = editor->findChild<QStatusBar*>("stbrSeLi");
  QFocusEvent focusIn(QEvent::FocusIn);
  QApplication::sendEvent(Field(editor, "sfAnzO"), &focusIn);
  EXPECT_EQ(status->currentMessage().toStdString(), T(852));
  editor->table()->setCurrentCell(0, TfmSeLi::kColData2);
  QApplication::sendEvent(editor->table(), &focusIn);
  EXPECT_EQ(status->currentMessage().toStdString(), "0-4095 value%; " + T(814) + "3413");
  const auto label = [&](const char* field) {
    for (QLabel* l : editor->findChildren<QLabel*>()) {
      if (l->buddy() == Field(editor, field)) return l->text().toStdString();
    }
    return std::string();
  };
  auto* trigger = editor->findChild<QComboBox*>("cbAnst");
  auto* service = editor->findChild<QComboBox*>("cbUeb");
  auto* address = editor->findChild<QComboBox*>("cbLA");
  EXPECT_EQ(service->count(), 3);  // port 1: the three link services
  EXPECT_FALSE(Field(editor, "sfSbT")->isVisibleTo(editor));
  EXPECT_TRUE(Field(editor, "sfCA")->isVisibleTo(editor));
  trigger->setCurrentIndex(4);  // every hour at a minute
  EXPECT_EQ(label("sfTypN"), T(723));
  Field(editor, "sfTypN")->setText("60");
  EXPECT_FALSE(editor->FieldsValid());
  Field(editor, "sfTypN")->setText("15");
  Field(editor, "sfSend")->setText("2");
  emit Field(editor, "sfSend")->editingFinished();
  EXPECT_EQ(service->itemText(1).toStdString(), T(1077));  // the DTR handshake
  EXPECT_EQ(address->itemText(1), "4");
  EXPECT_TRUE(Field(editor, "sfSbT")->isVisibleTo(editor));
  service->setCurrentIndex(1);
  address->setCurrentIndex(1);
  Field(editor, "sfSbT")->setText("250");
  Field(editor, "sfCA")->setText("77");
  editor->resize(700, 300);  // wider than it may be
  Button(editor, "btnOK")->click();
  const SendList& list = instance.send.List(8);
  EXPECT_EQ(std::tuple(list.trigger, list.triggerMinute, list.portCode, list.secondaryService,
                       list.rowPause, list.addressIndex, list.linkAddress, list.commonAddress),
            std::tuple(4u, std::uint16_t{15}, 4u, std::int16_t{1}, std::uint16_t{250}, 1u,
                       std::uint8_t{4}, std::uint8_t{77}));
  EXPECT_EQ(instance.settings.sendListWidth, TfmSeLi::kMaxWidth);
}

TEST_F(ListEditorTest, ClipboardRowsAndLogLinesArePastedAtTheCursorAndCutMovesRowsUp) {
  TfmSeLi* editor = Open(4);
  Type(editor, 2, TfmSeLi::kColInf, "99");  // the row that moves down
  // Two rows as written, a line that does not read, a line from the log in
  // its export form (type 20, cause 20, FUN 128, INF 17, DCO 2, RII 5).
  const QString logLine = "1;0;12:00:00.000;4;1;0;0;0;0;0;20;0;20;1;128;17;0;2;5;0;0;0;0;0;";
  QApplication::clipboard()->setText("1;3;2;128;144;4;100;\r\n0;1;1;160;64;2;3;\r\nnot a row\r\n" +
                                     logLine + "\r\n");
  editor->table()->setCurrentCell(1, TfmSeLi::kColType);
  editor->findChild<QAction*>("miPaste")->trigger();
  const auto row = [&](int n) {
    return FormatListRow(editor->WorkCopy().Row(static_cast<std::uint32_t>(n)), ';');
  };
  EXPECT_EQ(row(2), "1;3;2;128;144;4;100;");
  EXPECT_EQ(row(3), "0;1;1;160;64;2;3;");
  EXPECT_EQ(row(4), "1;20;20;128;17;2;5;");
  EXPECT_EQ(row(5), "0;1;1;128;99;1;0;");
  EXPECT_EQ(Cell(editor, 4, TfmSeLi::kColData1), " 2=ON");
  EXPECT_EQ(editor->table()->item(3, TfmSeLi::kColActive)->checkState(), Qt::Checked);
  // Cut rows 2 and 3: on the clipboard, the rows behind move up.
  editor->table()->setRangeSelected(QTableWidgetSelectionRange(1, 1, 2, 8), true);
  editor->findChild<QAction*>("miCut")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "1;3;2;128;144;4;100;\r\n0;1;1;160;64;2;3;\r\n");
  EXPECT_EQ(row(2), "1;20;20;128;17;2;5;");
  EXPECT_EQ(row(3), "0;1;1;128;99;1;0;");
  EXPECT_EQ(Cell(editor, 3, TfmSeLi::kColInf), "99");
  EXPECT_EQ(editor->table()->currentRow(), 1);
  EXPECT_EQ(editor->table()->currentColumn(), TfmSeLi::kColActive);
  editor->close();
}

TEST_F(ListEditorTest, PickerChoicesGoIntoTheCellAndTheRowIsBroughtIntoLine) {
  instance.send.List(7).Row(2).typeId = 24;
  instance.send.List(7).Row(2).cot = 31;
  TfmSeLi* editor = Open(7);
  ListRowTable* table = editor->table();
  const struct {
    int row, column;
    bool rightClick;
    const char* item;
    int captionText;
    const char* cell;
  } picks[] = {
      {1, TfmSeLi::kColType, false, " 20=", 1166, "20"},
      {2, TfmSeLi::kColData1, true, " 2=", 1369, "2"},  // the TOO of an order
      {1, TfmSeLi::kColFun, true, "", 1168, "128"},     // left: the cell stays
  };
  for (const auto& pick : picks) {
    QString caption;
    WhenPicker(pick.item, &caption);
    table->setCurrentCell(pick.row - 1, pick.column);
    if (pick.rightClick) {
      const QRect cell = table->visualItemRect(table->item(pick.row - 1, pick.column));
      QTest::mouseClick(table->viewport(), Qt::RightButton, {}, cell.center());
    } else {
      QTest::keyClick(table, Qt::Key_F12);
    }
    EXPECT_EQ(caption.toStdString(), T(pick.captionText)) << pick.item;
    EXPECT_EQ(Cell(editor, pick.row, pick.column), pick.cell) << pick.item;
  }
  EXPECT_EQ(Cell(editor, 1, TfmSeLi::kColCause), "20");  // type 20 does not admit cause 1
  EXPECT_EQ(editor->WorkCopy().Row(2).data1, 2u);
  editor->close();
}

TEST_F(ListEditorTest, LockedRowsTakeNoCutPasteOrTyping) {
  instance.settings.options[kOptionListReadOnly] = 1;
  instance.send.List(5).Row(3).inf = 42;
  TfmSeLi* editor = Open(5);
  const SendList before = editor->WorkCopy();
  QApplication::clipboard()->setText("1;3;2;128;144;4;100;\r\n");
  editor->table()->setCurrentCell(2, TfmSeLi::kColInf);
  for (const char* name : {"miPaste", "miCut"}) {
    QAction* action = editor->findChild<QAction*>(name);
    EXPECT_FALSE(action->isEnabled()) << name;
    action->trigger();
  }
  editor->table()->editItem(editor->table()->item(2, TfmSeLi::kColInf));
  EXPECT_EQ(editor->table()->indexWidget(editor->table()->currentIndex()), nullptr);
  EXPECT_FALSE(editor->table()->item(2, TfmSeLi::kColActive)->flags() & Qt::ItemIsUserCheckable);
  // No picker opens to write into a locked row.
  bool pickerOpened = false;
  QTimer::singleShot(0, [&] {
    if (auto* picker = qobject_cast<TfmTyp*>(QApplication::activeModalWidget())) {
      pickerOpened = true;
      picker->done(TfmTyp::kLeft);
    }
  });
  QTest::keyClick(editor->table(), Qt::Key_F12);
  QApplication::processEvents();
  EXPECT_FALSE(pickerOpened);
  EXPECT_TRUE(editor->WorkCopy().rows == before.rows);
  EXPECT_TRUE(editor->findChild<QAction*>("miCopy")->isEnabled());
  editor->close();
}

TEST_F(ListEditorTest, ListFileIsSavedCommittedAndLoadedBack) {
  TfmSeLi* editor = Open(6);
  Field(editor, "sfBez")->setText("Measurands");
  Check(editor, 1, true);
  Type(editor, 1, TfmSeLi::kColType, "3");
  Type(editor, 1, TfmSeLi::kColData2, "100");
  const std::string name = fake.scratch.path() + "list6.kvt";
  std::vector<FileRequest> asked;
  editor->chooseFile = [&](QWidget*, const FileRequest& request) {
    asked.push_back(request);
    return QString::fromStdString(request.save ? fake.scratch.path() + "list6" : name);
  };
  editor->findChild<QAction*>("miSave")->trigger();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].caption, "Save send-list file");
  EXPECT_EQ(asked[0].path.toStdString(), instance.dataDirectory + "List6.kvt");
  EXPECT_EQ(instance.send.List(6).name.Get(), "Measurands");  // committed first
  EXPECT_EQ(instance.send.List(6).activeRows, 1u);
  const std::string text = testing::ReadFile(name);
  EXPECT_EQ(text, WriteListText(instance.send.List(6), ';'));
  EXPECT_EQ(text.substr(0, 11), "Measurands;");
  // Type 3 does not admit cause 1: its first cause, 2, was chosen.
  EXPECT_NE(text.find("\r\n1;3;2;128;0;1;100;\r\n0;1;1;128;0;1;0;\r\n"), std::string::npos);

  // Changed in the editor, then loaded back: the file's rows and name again.
  Type(editor, 1, TfmSeLi::kColData2, "7");
  Field(editor, "sfBez")->setText("other");
  instance.sendContext.sendDataModified = false;
  editor->table()->setCurrentCell(40, TfmSeLi::kColFun);
  editor->findChild<QAction*>("miLoad")->trigger();
  EXPECT_EQ(asked.back().caption, "Load send-list file");
  EXPECT_EQ(Field(editor, "sfBez")->text(), "Measurands");
  EXPECT_EQ(Cell(editor, 1, TfmSeLi::kColData2), "100");
  EXPECT_TRUE(instance.sendContext.sendDataModified);
  EXPECT_EQ(editor->table()->currentRow(), 0);
  EXPECT_EQ(editor->table()->currentColumn(), TfmSeLi::kColActive);
  // An unreadable file leaves everything as it was.
  testing::WriteFile(name, "");
  Type(editor, 1, TfmSeLi::kColData2, "8");
  editor->findChild<QAction*>("miLoad")->trigger();
  EXPECT_EQ(Cell(editor, 1, TfmSeLi::kColData2), "8");
  EXPECT_EQ(editor->WorkCopy().Row(1).data2, 8u);
  editor->close();
}

}  // namespace
}  // namespace kivo
