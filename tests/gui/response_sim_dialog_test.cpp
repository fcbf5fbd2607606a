// The command-response dialog, offscreen, on the secondary of two complete
// stations joined by a wire: rows typed into the table answer the primary's
// general commands, Cancel gives back the block as it was, refused cells
// keep OK shut, and rows travel through the clipboard and the file.
#include "ui/response_sim_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "app/send_commands.h"
#include "send/response_sim_text.h"
#include "send/send_fixture.h"
#include "sim/sim_fixture.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::Side;
using testing::SimRow;

const QColor kError(0xFF, 0x80, 0x80);  // the background of an invalid field

class ResponseSimDialogTest : public testing::SimOneAddress {
 protected:
  ResponseSimBlock& block = secondary.send.simulation;

  QString T(int n) const { return Q(secondary.texts.Text(n)); }

  static void Show(TfmRm& dialog) {
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(dialog.isActiveWindow());
  }
  static void Cursor(TfmRm& dialog, int row, int column) {
    dialog.tbRm()->setCurrentIndex(dialog.tbRm()->model()->index(row, column));
  }
  static std::pair<int, int> CursorOf(const TfmRm& dialog) {
    return {dialog.tbRm()->currentIndex().row(), dialog.tbRm()->currentIndex().column()};
  }
  // The open cell editor, or null.
  static QLineEdit* Editor(const TfmRm& dialog) {
    for (auto* edit : dialog.tbRm()->viewport()->findChildren<QLineEdit*>()) {
      if (!edit->isHidden()) return edit;
    }
    return nullptr;
  }
  // Keys as the operator types them into the table: '\r' Enter, '>' Right,
  // '\t' Tab, ' ' Space, other characters themselves. Each goes to the open
  // cell editor, or to the table when none is open.
  static void Type(TfmRm& dialog, const std::string& keys) {
    for (char key : keys) {
      QWidget* target = Editor(dialog);
      if (!target) target = dialog.tbRm();
      switch (key) {
        case '\r':
          QTest::keyClick(target, Qt::Key_Return);
          break;
        case '>':
          QTest::keyClick(target, Qt::Key_Right);
          break;
        case '\t':
          QTest::keyClick(target, Qt::Key_Tab);
          break;
        default:
          QTest::keyClick(target, key);
      }
    }
  }
  // Chooses the item of INF `inf` in the picker as soon as it is shown and
  // notes the picker's caption.
  static void PickWhenShown(int inf, QString& caption) {
    QTimer::singleShot(0, [inf, &caption] {
      auto* picker = qobject_cast<TfmTyp*>(QApplication::activeModalWidget());
      ASSERT_NE(picker, nullptr);
      caption = picker->windowTitle();
      for (int i = 0; i < picker->list()->count(); ++i) {
        if (PickerItemValue(S(picker->list()->item(i)->text())) == inf) {
          picker->list()->setCurrentRow(i);
        }
      }
      picker->done(TfmTyp::kChosen);
    });
  }
  // Cause, INF, DPI and SIN of every time-tagged message the secondary sent
  // from wire entry `from` on.
  std::string Answers(std::size_t from) const {
    std::ostringstream out;
    for (const std::string& hex : SentBy(Side::Secondary, from)) {
      const testing::Octets f = Hex(hex);
      if (f.size() < 20 || f[0] != 0x68 || f[6] != 1) continue;
      out << int(f[8]) << '.' << int(f[11]) << '.' << int(f[12]) << '.' << int(f[17]) << ' ';
    }
    return out.str();
  }
};

TEST_F(ResponseSimDialogTest, RowsTypedIntoTheTableAnswerThePrimarysGeneralCommands) {
  secondary.infoTexts.Add(InfoKey(20, 128, 17), 0, "Breaker");
  secondary.infoTexts.Add(InfoKey(1, 128, 40), 0, "Breaker position");
  secondary.infoTexts.Sort();
  Started();
  TfmRm dialog(secondary);
  Show(dialog);
  QStringList texts{dialog.windowTitle()};
  for (int column = 0; column < TfmRm::kColumnCount; ++column) {
    texts << dialog.tbRm()->model()->headerData(column, Qt::Horizontal).toString();
  }
  for (QMenu* menu : {dialog.pmEdit(), dialog.pmLoadSave()}) {
    for (QAction* item : menu->actions()) texts << item->text();
  }
  for (const char* name : {"btnOK", "btnAbbr", "btnHelp"}) {
    texts << dialog.findChild<QPushButton*>(name)->text();
  }
  EXPECT_EQ(texts,
            (QStringList{T(1250), T(1260), T(1261), T(1262), T(1263), T(1264), T(1265), T(1159),
                         T(1160), T(1161), T(1340), T(1341), T(676), T(677), T(678)}));
  EXPECT_EQ(dialog.focusWidget(), dialog.cbSRm());
  EXPECT_EQ(dialog.statusBar()->currentMessage(), T(502));
  QTest::keyClick(dialog.cbSRm(), Qt::Key_Down);  // On
  QTest::keyClick(dialog.cbSRm(), Qt::Key_Return);
  EXPECT_EQ(dialog.focusWidget(), dialog.tbRm());
  EXPECT_EQ(dialog.statusBar()->currentMessage(), T(839));

  // Row 1 by the keyboard: command INF 16, positive, response on INF 16 with
  // the DCO inverted; Enter in the last column goes on to the next row.
  Type(dialog, "16\r \r\r");
  EXPECT_EQ(dialog.statusBar()->currentMessage(), T(1345));
  Type(dialog, "16\r5");
  EXPECT_EQ(dialog.statusBar()->currentMessage(), T(1346));
  Type(dialog, "\r");
  EXPECT_EQ(CursorOf(dialog), std::pair(1, 1));
  // Row 2 through the picker: F12 in the command column lists type 20, a
  // right click in the response column type 1.
  QString caption;
  PickWhenShown(17, caption);
  ASSERT_EQ(Editor(dialog)->objectName(), "sfBCA");
  QTest::keyClick(Editor(dialog), Qt::Key_F12);
  EXPECT_EQ(caption, T(70 + 20));
  Type(dialog, "\r>");
  EXPECT_EQ(dialog.statusBar()->currentMessage(), T(502));
  Type(dialog, " ");  // negative only
  PickWhenShown(40, caption);
  const QRect cell = dialog.tbRm()->visualRect(dialog.tbRm()->model()->index(1, 4));
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, cell.center(),
                               dialog.tbRm()->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(dialog.tbRm()->viewport(), &rightClick);
  EXPECT_EQ(caption, T(70 + 1));
  Type(dialog, "\t3\t");
  EXPECT_EQ(CursorOf(dialog), std::pair(2, 1));
  dialog.findChild<QPushButton*>("btnOK")->click();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(block.rows[0], SimRow(16, 1, 0, 16, 5));
  EXPECT_EQ(block.rows[1], SimRow(17, 0, 1, 40, 3));
  EXPECT_EQ(block.rows[2], ResponseSimRow{});
  EXPECT_EQ(std::tuple(block.simulationOn, block.focusIndex, block.editorRow, block.editorCol),
            std::tuple(1u, 1u, 3u, 1u));
  EXPECT_TRUE(secondary.app.sendDataModified);

  // The primary's telegram 10 is a general command: ON with RII 5 on INF 16,
  // then OFF with RII 6 on INF 17. Each is acknowledged (cause 20 or 21,
  // the command's INF and DCO, SIN = RII) and then reported (cause 12).
  SendTelegram& command = primary.send.Telegram(10);
  const struct {
    int inf, dco, rii;
    const char* answers;
  } commands[] = {{16, 2, 5, "20.16.2.5 12.16.1.5 "}, {17, 1, 6, "21.17.1.6 12.40.3.6 "}};
  for (const auto& c : commands) {
    SCOPED_TRACE(c.inf);
    command.inf = static_cast<std::uint8_t>(c.inf);
    command.value = static_cast<std::uint32_t>(c.dco);
    command.data2 = c.rii;
    const std::size_t from = wire.sent.size();
    ASSERT_TRUE(OperatorSendNow(primary, command));
    Ticks(30);
    EXPECT_EQ(Answers(from), c.answers);
  }
}

TEST_F(ResponseSimDialogTest, RefusedCellsKeepOkShutAndCancelGivesBackTheBlock) {
  ResponseSimRow& waiting = block.rows[0];  // a command whose answers wait
  waiting = SimRow(16, 1, 0, 16, 4);
  waiting.ackPending = waiting.responsePending = 1;
  waiting.commandAddress = 1;
  waiting.commandLength = 16;
  const testing::Octets frame = Hex("68 0A 0A 68 53 01 14 81 14 01 80 10 02 05 00 16");
  std::copy(frame.begin(), frame.end(), waiting.commandFrame.begin());
  block.focusIndex = 1;
  block.editorRow = 3;
  block.editorCol = 2;

  TfmRm dialog(secondary);
  Show(dialog);
  EXPECT_EQ(dialog.focusWidget(), dialog.tbRm());
  EXPECT_EQ(CursorOf(dialog), std::pair(2, 2));
  auto* table = dialog.tbRm();
  const struct {
    int column;
    const char* text;
    int taken;  // the field afterwards; -9 when the text is refused
  } cells[] = {{1, "255", 255}, {1, "256", -9}, {1, "x", -9}, {1, "", -9}, {4, "-1", -1},
               {4, "-2", -9},   {5, "5", 5},    {5, "6", -9}, {5, "-0", 0}};
  for (const auto& c : cells) {
    SCOPED_TRACE(std::to_string(c.column) + " " + c.text);
    ResponseSimRow& row = block.rows[2];
    const ResponseSimRow previous = row;
    Cursor(dialog, 2, c.column);
    QTest::keyClick(table, Qt::Key_F2);
    QLineEdit* edit = Editor(dialog);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->objectName(), c.column == 1 ? "sfBCA" : c.column == 4 ? "sfRmInf" : "sfRmSt");
    edit->setText(c.text);
    EXPECT_EQ(edit->palette().color(QPalette::Base) == kError, c.taken == -9);
    dialog.findChild<QPushButton*>("btnOK")->click();
    const QModelIndex index = table->model()->index(2, c.column);
    if (c.taken == -9) {
      EXPECT_TRUE(dialog.isVisible());
      EXPECT_FALSE(dialog.CellsValid());
      EXPECT_EQ(row, previous);
      EXPECT_EQ(index.data(Qt::BackgroundRole).value<QColor>(), kError);
      EXPECT_EQ(index.data().toString(), c.text);
      Cursor(dialog, 0, 1);
      dialog.findChild<QPushButton*>("btnOK")->click();
      EXPECT_EQ(CursorOf(dialog), std::pair(2, c.column));  // back on the refused cell
      Type(dialog, "0\r");
    } else {
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(index.data().toInt(), c.taken);
      dialog.setResult(0);
      dialog.show();
    }
    EXPECT_TRUE(dialog.CellsValid());
  }
  // Whatever happened to the block, pending answers included, Escape and
  // Cancel give it back as it was.
  for (const char* leave : {"Escape", "btnAbbr"}) {
    SCOPED_TRACE(leave);
    const ResponseSimBlock before = block;
    TfmRm again(secondary);
    Show(again);
    Cursor(again, 0, 1);
    again.pmEdit()->actions()[0]->trigger();  // cut
    Type(again, "99\r");
    QTest::keyClick(again.cbSRm(), Qt::Key_Down);
    ASSERT_NE(block, before);
    if (std::string(leave) == "Escape") {
      QTest::keyClick(again.tbRm(), Qt::Key_Escape);
    } else {
      again.findChild<QPushButton*>("btnAbbr")->click();
    }
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_TRUE(block == before);
    EXPECT_EQ(block.rows[0].ackPending, 1);
  }
  // The modal entry point tells OK from Cancel.
  for (const char* button : {"btnOK", "btnAbbr"}) {
    QTimer::singleShot(0, [button] {
      auto* modal = qobject_cast<TfmRm*>(QApplication::activeModalWidget());
      ASSERT_NE(modal, nullptr);
      modal->findChild<QPushButton*>(button)->click();
    });
    EXPECT_EQ(OpenResponseSimDialog(nullptr, secondary), std::string(button) == "btnOK");
  }
}

TEST_F(ResponseSimDialogTest, RowsGoThroughTheClipboardAndTheSimulationFile) {
  block.rows[0] = SimRow(16, 1, 0, 16, 4);
  block.rows[1] = SimRow(17, 0, 1, -1, 5);
  block.rows[4] = SimRow(99, 0, 0, -1, 0);
  TfmRm dialog(secondary);
  Show(dialog);
  auto* table = dialog.tbRm();
  auto* model = table->model();
  table->setFocus();
  table->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(1, 5)),
                                  QItemSelectionModel::ClearAndSelect);
  QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "16;1;0;16;4;\r\n17;0;1;-1;5;\r\n");
  Cursor(dialog, 4, 4);
  QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(CursorOf(dialog), std::pair(4, 4));
  EXPECT_EQ(block.rows[4], block.rows[0]);
  EXPECT_EQ(block.rows[5], block.rows[1]);
  EXPECT_EQ(block.rows[6], SimRow(99, 0, 0, -1, 0));
  EXPECT_EQ(model->index(6, 1).data().toInt(), 99);
  // Cut: the rows after move up, the freed rows at the end are all zeros,
  // the cursor stands on the first row of the cut in column 1.
  table->selectionModel()->select(QItemSelection(model->index(1, 0), model->index(2, 5)),
                                  QItemSelectionModel::ClearAndSelect);
  QTest::keyClick(table, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(CursorOf(dialog), std::pair(1, 1));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "17;0;1;-1;5;\r\n0;0;0;-1;4;\r\n");
  EXPECT_EQ(block.rows[2], SimRow(16, 1, 0, 16, 4));
  ResponseSimRow zeros = SimRow(0, 0, 0, 0, 0);
  EXPECT_EQ(block.rows[98], zeros);
  EXPECT_EQ(block.rows[99], zeros);

  // Saved with the switch as the combo box shows it, read back after the
  // table was emptied: rows, switch and cursor as written.
  std::vector<FileRequest> requests;
  const std::string name = secondary.dataDirectory + "rows";
  dialog.chooseFile = [&](QWidget*, const FileRequest& request) {
    requests.push_back(request);
    return Q(name);
  };
  dialog.cbSRm()->setCurrentIndex(1);
  dialog.pmLoadSave()->actions()[1]->trigger();
  const ResponseSimBlock saved = block;
  std::ifstream file(name + ".kvt", std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(written, WriteSimText(saved, ';'));
  EXPECT_TRUE(written.starts_with("1;\r\n16;1;0;16;4;\r\n"));
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].caption, T(1341));
  EXPECT_EQ(requests[0].path, Q(secondary.dataDirectory) + T(1129) + ".kvt");
  EXPECT_TRUE(requests[0].save);

  for (int i = 0; i < 5; ++i) QTest::keyClick(table, Qt::Key_X, Qt::ControlModifier);
  dialog.cbSRm()->setCurrentIndex(0);
  Cursor(dialog, 7, 3);
  secondary.app.sendDataModified = false;
  // A file that is not there changes nothing; the written one is read.
  for (const std::string& chosen : {name + ".none", name + ".kvt"}) {
    dialog.chooseFile = [&](QWidget*, const FileRequest& request) {
      requests.push_back(request);
      return Q(chosen);
    };
    dialog.pmLoadSave()->actions()[0]->trigger();
  }
  EXPECT_EQ(requests.back().caption, T(1340));
  EXPECT_FALSE(requests.back().save);
  EXPECT_EQ(block.rows, saved.rows);
  EXPECT_EQ(dialog.cbSRm()->currentIndex(), 1);
  EXPECT_EQ(CursorOf(dialog), std::pair(0, 1));
  EXPECT_TRUE(secondary.app.sendDataModified);
  EXPECT_EQ(model->index(2, 1).data().toInt(), 16);
}

}  // namespace
}  // namespace kivo
