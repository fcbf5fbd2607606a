// The type picker, offscreen: what each kind lists and preselects, Enter
// and a double click choose, Escape leaves the value as it was.
#include "ui/type_picker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/startup.h"
#include "gui/gui_fixture.h"

namespace kivo {
namespace {

class TypePickerTest : public testing::GuiTest {
 protected:
  QWidget main;

  // Runs the modal picker and lets `act` work on it once it is shown.
  int Pick(PickerKind kind, int& value, std::uint32_t parameter, int leaveOut,
           const std::function<void(TfmTyp&)>& act) {
    QTimer::singleShot(0, [&act] {
      auto* picker = qobject_cast<TfmTyp*>(QApplication::activeModalWidget());
      ASSERT_NE(picker, nullptr);
      act(*picker);
    });
    return RunTypePicker(&main, QPoint(5000, 5000), instance, kind, value, parameter, leaveOut);
  }
};

TEST_F(TypePickerTest, KindsListPreselectAndChooseWithEnterOrDoubleClick) {
  // Types: the known-type list without the last seven, the given type chosen.
  int value = 20;
  QStringList items;
  QString caption;
  int result =
      Pick(PickerKind::Types, value, PickerParameter(20, 20, 128, 16), 7, [&](TfmTyp& picker) {
        caption = picker.windowTitle();
        for (int i = 0; i < picker.list()->count(); ++i) {
          items << picker.list()->item(i)->text();
        }
        EXPECT_TRUE(picker.list()->currentItem()->text().startsWith(" 20="));
        QTest::keyClick(picker.list(), Qt::Key_Down);
        QTest::keyClick(picker.list(), Qt::Key_Return);
      });
  EXPECT_EQ(result, TfmTyp::kChosen);
  EXPECT_EQ(caption, T(1166));
  EXPECT_EQ(items.first(), " 1=" + T(71));
  EXPECT_FALSE(items.join("|").contains(" 128="));
  EXPECT_EQ(value, items[items.indexOf(QRegularExpression("^ 20=.*")) + 1].split('=')[0].toInt());

  // Causes of type 20: cause 20 under its own name, chosen by a double click.
  value = 20;
  result =
      Pick(PickerKind::Causes, value, PickerParameter(20, 20, 128, 16), 0, [&](TfmTyp& picker) {
        EXPECT_EQ(picker.windowTitle(), T(1167));
        QListWidgetItem* item = picker.list()->currentItem();
        EXPECT_EQ(item->text(), " 20=" + T(264));
        picker.list()->setCurrentRow(0);
        emit picker.list()->itemActivated(picker.list()->item(0));
      });
  EXPECT_EQ(result, TfmTyp::kChosen);
  EXPECT_EQ(value, PickerItemValue(CauseItems(instance.texts, instance.knownTypes, 20).front()));

  // TOO codes: Escape leaves the value as it was.
  value = 77;
  result =
      Pick(PickerKind::TooCodes, value, PickerParameter(24, 31, 128, 0), 0, [&](TfmTyp& picker) {
        EXPECT_EQ(picker.windowTitle(), T(1369));
        EXPECT_GT(picker.list()->count(), 1);
        QTest::keyClick(picker.list(), Qt::Key_Down);
        QTest::keyClick(picker.list(), Qt::Key_Escape);
      });
  EXPECT_EQ(result, TfmTyp::kLeft);
  EXPECT_EQ(value, 77);
}

}  // namespace
}  // namespace kivo
