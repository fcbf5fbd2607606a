// The link-test window, offscreen: its items drive the port's link-test
// flags, closing clears them, and only one window exists at a time.
#include "ui/link_test_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "app/startup.h"
#include "gui/gui_fixture.h"
#include "ui/main_window.h"

namespace kivo {
namespace {

class LinkTestWindowTest : public testing::GuiTest {
 protected:
  QWidget main;

  void SetUp() override {
    GuiTest::SetUp();
    main.setGeometry(40, 50, 700, 500);
    main.show();
  }
  // The link-test windows that are open (not closed and waiting to be freed).
  std::vector<TfmLnk*> Open() const {
    std::vector<TfmLnk*> open;
    for (TfmLnk* w : main.findChildren<TfmLnk*>()) {
      if (!w->closed()) open.push_back(w);
    }
    return open;
  }
  void FreeClosed() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  static QListWidget* Items(TfmLnk* w) { return w->findChild<QListWidget*>("chlbLnk"); }
};

TEST_F(LinkTestWindowTest, ItemsSetTheFlagsOfTheBoundPortAndClosingClearsThemAll) {
  OpenLinkTest(&main, instance, 0);
  ASSERT_EQ(Open().size(), 1u);
  TfmLnk* window = Open()[0];
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), T(1295) + "1");
  QListWidget* items = Items(window);
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->count(), instance.texts.NumberText(1296));
  for (int i = 0; i < items->count(); ++i) EXPECT_EQ(items->item(i)->text(), T(1297 + i));
  EXPECT_EQ(items->currentRow(), 0);
  EXPECT_EQ(window->findChild<QPushButton*>("btnExit")->text(), T(1310));
  EXPECT_EQ(window->findChild<QStatusBar*>("stbrLnk")->currentMessage(), T(502));

  LinkTestFlags& flags = instance.ports[0].linkTest;
  items->item(0)->setCheckState(Qt::Checked);
  EXPECT_TRUE(flags.ltBusy);
  EXPECT_EQ(flags, [] {
    LinkTestFlags only;
    only.ltBusy = true;
    return only;
  }());
  items->item(3)->setCheckState(Qt::Checked);
  items->item(9)->setCheckState(Qt::Checked);
  EXPECT_TRUE(flags.ltFcbFrozen);
  EXPECT_TRUE(flags.ltDistFault2);
  items->item(3)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(flags.ltFcbFrozen);
  EXPECT_EQ(instance.ports[1].linkTest, LinkTestFlags{});  // the other port is untouched

  flags.reserved = {true, true};  // every one of the twelve is cleared
  window->findChild<QPushButton*>("btnExit")->click();
  EXPECT_EQ(flags, LinkTestFlags{});
  EXPECT_TRUE(Open().empty());
  FreeClosed();
  EXPECT_TRUE(main.findChildren<TfmLnk*>().empty());

  // Closed by the window manager, likewise.
  OpenLinkTest(&main, instance, 1);
  ASSERT_EQ(Open().size(), 1u);
  EXPECT_EQ(Open()[0]->windowTitle(), T(1295) + "2");
  Items(Open()[0])->item(5)->setCheckState(Qt::Checked);
  EXPECT_TRUE(instance.ports[1].linkTest.ltForceAcd);
  Open()[0]->close();
  EXPECT_EQ(instance.ports[1].linkTest, LinkTestFlags{});
}

TEST_F(LinkTestWindowTest, OnlyOneWindowExistsAndStaysBoundToItsPort) {
  OpenLinkTest(&main, instance, 0);
  TfmLnk* first = Open().at(0);
  Items(first)->item(1)->setCheckState(Qt::Checked);
  first->hide();
  OpenLinkTest(&main, instance, 1);  // port 2 asked: port 1's window comes up
  ASSERT_EQ(Open().size(), 1u);
  EXPECT_EQ(Open()[0], first);
  EXPECT_EQ(first->portIndex(), 0);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), T(1295) + "1");
  EXPECT_TRUE(instance.ports[0].linkTest.ltInvertRes);
  // A closed window waiting to be freed does not stand in the way.
  first->close();
  OpenLinkTest(&main, instance, 1);
  ASSERT_EQ(Open().size(), 1u);
  EXPECT_EQ(Open()[0]->portIndex(), 1);
  // Set flags show as ticked when a window opens.
  Open()[0]->close();
  instance.ports[0].linkTest.ltForceDfc = true;
  OpenLinkTest(&main, instance, 0);
  EXPECT_EQ(Items(Open().at(0))->item(6)->checkState(), Qt::Checked);
}

TEST_F(LinkTestWindowTest, StandsAtTheMainWindowsRightEdgeOnTheScreen) {
  OpenLinkTest(&main, instance, 0);
  TfmLnk* window = Open().at(0);
  const QRect frame = main.frameGeometry();
  const QRect screen = main.screen()->availableGeometry();
  EXPECT_EQ(window->pos().y(), frame.top() + 32);
  EXPECT_EQ(window->pos().x(), frame.left() + frame.width() - window->frameGeometry().width() - 10);
  EXPECT_GE(window->pos().x(), screen.left());
  window->close();
  main.move(screen.left() - 600, screen.top() - 300);  // partly off the screen
  OpenLinkTest(&main, instance, 0);
  EXPECT_GE(Open().at(0)->pos().x(), screen.left());
  EXPECT_GE(Open().at(0)->pos().y(), screen.top());
}

// The parameter menu's items open the link test of their port (they are
// there when the option allows the link test).
TEST_F(LinkTestWindowTest, ParameterMenuItemsOpenTheLinkTest) {
  instance.settings.options[kOptionLinkTest] = 1;
  TfmMain window(instance, {});
  window.timer()->stop();
  ASSERT_TRUE(window.action("miLinkT2")->isEnabled());
  window.action("miLinkT2")->trigger();
  auto open = window.findChildren<TfmLnk*>();
  ASSERT_EQ(open.size(), 1);
  EXPECT_EQ(open[0]->portIndex(), 1);
  window.action("miLinkT1")->trigger();
  EXPECT_EQ(window.findChildren<TfmLnk*>().size(), 1);
  open[0]->close();
}

// In both languages every item is visible without scrolling (the pictures
// are the screenshot target's).
TEST_F(LinkTestWindowTest, EveryItemShowsInBothLanguages) {
  for (const int language : {0, 1}) {
    ASSERT_TRUE(ReloadTexts(instance, language));
    OpenLinkTest(&main, instance, 0);
    TfmLnk* window = Open().at(0);
    QApplication::processEvents();
    QListWidget* items = Items(window);
    // Every item is visible without scrolling.
    EXPECT_LE(items->visualItemRect(items->item(items->count() - 1)).bottom(),
              items->viewport()->height());
    window->close();
  }
}

}  // namespace
}  // namespace kivo
