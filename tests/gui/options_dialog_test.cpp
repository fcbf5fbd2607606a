// The options and the info dialog, offscreen: the check list round-trips
// through the settings and its keys apply at once; Cancel changes nothing;
// the info names the version and the data directory.
#include "ui/options_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/data_directory.h"
#include "app/startup.h"
#include "gui/gui_fixture.h"
#include "ui/main_window.h"

namespace kivo {
namespace {

class OptionsDialogTest : public testing::GuiTest {
 protected:
};

TEST_F(OptionsDialogTest, TickedItemsBecomeTheOptionsAndTheirKeysApplyAtOnce) {
  TfmMain window(instance, {});
  window.timer()->stop();
  instance.settings.options.fill(0);
  instance.settings.options[kOptionAltSendTelegram] = 1;
  window.ApplyShortcuts();
  ASSERT_EQ(window.action("aSeTe1")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F1));

  // Cancel: nothing changes, whatever was ticked.
  WhenModal<TfmOpt>([](TfmOpt& dialog) {
    dialog.list()->item(kOptionF8Online)->setCheckState(Qt::Checked);
    dialog.findChild<QPushButton*>("btnAbbr")->click();
  });
  window.action("miOpt")->trigger();
  EXPECT_EQ(instance.settings.options[kOptionF8Online], 0);

  // OK: the items as ticked; the Alt keys go at once, F8 comes.
  QStringList items;
  WhenModal<TfmOpt>([&](TfmOpt& dialog) {
    for (int i = 0; i < dialog.list()->count(); ++i) items << dialog.list()->item(i)->text();
    EXPECT_EQ(dialog.list()->item(kOptionAltSendTelegram)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog.list()->item(kOptionScrollingOnline)->checkState(), Qt::Unchecked);
    dialog.list()->item(kOptionAltSendTelegram)->setCheckState(Qt::Unchecked);
    dialog.list()->item(kOptionF8Online)->setCheckState(Qt::Checked);
    dialog.list()->item(kOptionDailyLog)->setCheckState(Qt::Checked);
    dialog.findChild<QPushButton*>("btnOK")->click();
  });
  window.action("miOpt")->trigger();
  ASSERT_EQ(items.size(), instance.texts.NumberText(1232));
  EXPECT_EQ(items.first(), T(1233));
  EXPECT_EQ(items.last(), T(1233 + kOptionCount - 1));
  std::array<std::uint8_t, kOptionCount> expected{};
  expected[kOptionF8Online] = 1;
  expected[kOptionDailyLog] = 1;
  EXPECT_EQ(instance.settings.options, expected);
  // and so they stand in the settings file.
  ASSERT_TRUE(SaveSettings(instance));
  Settings stored;
  ASSERT_TRUE(LoadSettings(SettingsFileName(instance), stored));
  EXPECT_EQ(stored.options, expected);
  for (int n = 1; n <= 12; ++n) {
    EXPECT_TRUE(window.action(QStringLiteral("aSeTe%1").arg(n))->shortcut().isEmpty());
  }
  EXPECT_EQ(window.action("aGoOnl")->shortcut(), QKeySequence(Qt::Key_F8));
}

TEST_F(OptionsDialogTest, InfoNamesTheProgramItsVersionAndTheDataDirectory) {
  TfmInfo info(instance);
  QStringList lines;
  for (int i = 0; i < info.list()->count(); ++i) lines << info.list()->item(i)->text();
  EXPECT_EQ(info.windowTitle(), T(1323));
  EXPECT_TRUE(lines.contains(T(1324)));
  EXPECT_TRUE(lines.join('\n').contains(T(1325) + KIVO_VERSION));
  EXPECT_TRUE(lines.join('\n').contains(QString::fromStdString(instance.dataDirectory)));
  EXPECT_TRUE(lines.join('\n').contains("Qt " + QString::fromLatin1(qVersion())));
}

}  // namespace
}  // namespace kivo
