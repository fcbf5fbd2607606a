// The general parameters dialog, offscreen: the fields show the record and
// the data directory, a value out of range or a directory that is refused
// keeps the dialog open, OK hands back what the fields say, and the menu item
// applies it.
#include "ui/general_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "app/startup.h"
#include "gui/gui_fixture.h"
#include "ui/main_window.h"

namespace kivo {
namespace {

class GeneralDialogTest : public testing::GuiTest {
 protected:
  static QLineEdit* Edit(QWidget& d, const char* name) { return d.findChild<QLineEdit*>(name); }
};

TEST_F(GeneralDialogTest, FieldsRangesAndTheDirectoryDecideWhetherOkCloses) {
  instance.general.measurand100 = 4096;
  instance.general.separateCommonAddress = 1;
  TfmAlg dialog(instance);
  EXPECT_EQ(dialog.windowTitle(), T(556));
  EXPECT_EQ(Edit(dialog, "edMw100")->text(), "4096");
  EXPECT_EQ(Edit(dialog, "edTimeout")->text(), "8");
  EXPECT_EQ(Edit(dialog, "edLogVerz")->text(), QString::fromStdString(instance.dataDirectory));
  EXPECT_EQ(dialog.findChild<QComboBox*>("cobxLLink")->currentText(), T(588));
  auto* ok = dialog.findChild<QPushButton*>("btnOK");

  // Out of range: the field is marked and OK does not close.
  const struct {
    const char* field;
    const char* text;
  } bad[] = {{"edMw100", "99"}, {"edMw100", "32768"}, {"edTimeout", "2"}, {"edTimeout", "256"},
             {"edMaxLog", "0"}, {"edMaxLog", "2001"}, {"edMw100", "1e3"}};
  for (const auto& row : bad) {
    QLineEdit* edit = Edit(dialog, row.field);
    const QString good = edit->text();
    edit->setText(row.text);
    ok->click();
    EXPECT_EQ(dialog.result(), 0) << row.field << " " << row.text;
    EXPECT_NE(edit->palette().color(QPalette::Base), QPalette().color(QPalette::Base));
    edit->setText(good);
  }
  // A directory that is missing and not to be created keeps the dialog open.
  const std::string missing = fake.scratch.path() + "new/logs";
  Edit(dialog, "edLogVerz")->setText(QString::fromStdString(missing));
  fake.prompter.answers = {MessageResult::No};
  ok->click();
  EXPECT_EQ(dialog.result(), 0);
  EXPECT_EQ(fake.prompter.messages.back(), instance.texts.Text(552));

  fake.prompter.answers = {MessageResult::Yes};
  Edit(dialog, "edMaxLog")->setText("20");
  dialog.findChild<QCheckBox*>("chbSZt")->setChecked(true);
  ok->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.DataDirectory(), missing + "/");
  EXPECT_EQ(dialog.Params().logSize, 20u);
  EXPECT_EQ(dialog.Params().summerTime, 1);
  EXPECT_EQ(dialog.Params().measurand100, 4096u);
  EXPECT_EQ(dialog.Params().separateCommonAddress, 1u);
}

TEST_F(GeneralDialogTest, TheMenuItemAppliesSummerTimeWithoutGoingOffline) {
  instance.ports[0].params.portNumber = 1;
  TfmMain window(instance, {});
  window.timer()->stop();
  window.aGoOnlClick();
  ASSERT_TRUE(instance.Online());
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<TfmAlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QCheckBox*>("chbSZt")->setChecked(true);
    dialog->findChild<QPushButton*>("btnOK")->click();
  });
  window.action("miAllg")->trigger();
  EXPECT_EQ(instance.general.summerTime, 1);
  EXPECT_TRUE(instance.Online());
  EXPECT_TRUE(fake.prompter.messages.empty());
  window.aGoOfflClick();
}

}  // namespace
}  // namespace kivo
