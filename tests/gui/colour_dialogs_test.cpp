// The telegram font dialog and the type and cause colour dialogs, offscreen:
// what they show of the settings, the spacing range, that Cancel keeps the
// settings, and that what OK stores reaches the log font and the colour
// pairs the renderer draws an entry in.
#include "ui/colour_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/output_run.h"
#include "app/startup.h"
#include "asdu/renderer.h"
#include "asdu/text_format.h"
#include "gui/gui_fixture.h"
#include "log/log_store_fixture.h"
#include "ui/editor_support.h"
#include "ui/log_canvas.h"
#include "ui/main_window.h"

namespace kivo {
namespace {

// A type 9 measurand frame with cause 2 and a type 1 message with cause 1.
const std::string kType9Cause2 =
    "68 1A 1A 68 08 01 09 09 02 01 F4 90 00 08 00 10 00 18 00 20 00 28 00 30 00 38 00 40 00 48 00";
const std::string kType1Cause1 = "68 0E 0E 68 08 01 01 81 01 01 80 10 02 00 00 00 00 00";

TLogEntry Entry(const std::string& hex, std::uint8_t status, std::uint8_t channel) {
  const testing::Octets o = testing::Hex(hex);
  std::uint8_t sum = 0;
  for (std::size_t i = 4; i < o.size(); ++i) sum = static_cast<std::uint8_t>(sum + o[i]);
  return testing::Frame(hex + " " + Hex2(sum) + " 16", status, channel);
}

class ColourDialogsTest : public testing::GuiTest {
 protected:
  // Runs `act` on the modal dialog that `open` brings up.
  template <typename Dialog>
  void OnDialog(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      seen = true;
      act(*dialog);
    });
    open();
    EXPECT_TRUE(seen);
  }
  static void Click(QWidget& dialog, const char* button) {
    dialog.findChild<QPushButton*>(button)->click();
  }
  // The pair of the last line the renderer draws of an entry: the pair of
  // its application data.
  std::uint16_t DrawnPair(const TLogEntry& entry) {
    RenderContext context = MakeRenderContext(instance, 0);
    RenderCursor cursor;
    StartTelegram(cursor, entry, context, EntryColourPair(entry, instance.settings.telFont));
    std::uint16_t pair = 0;
    for (std::string line = NextLine(cursor, context); !line.empty();
         line = NextLine(cursor, context)) {
      pair = cursor.ColourPair();
    }
    return pair;
  }
  QColor Colour(int index) const { return FromBgr(ColourOf(index, PaletteColours({}), 0)); }
};

TEST_F(ColourDialogsTest, DialogsShowTheSettingsWithCaptionsHelpNamesAndColours) {
  instance.settings.telFont.fontSize = 12;
  instance.settings.typeColours.pairs[9] = ColourPair(0, 12);
  TfmFarb font(instance);
  TfmFrbSel types(instance, false);
  TfmFrbSel causes(instance, true);
  const struct {
    QDialog* dialog;
    int caption, help;
  } dialogs[] = {{&font, 1400, 5550}, {&types, 1458, 5800}, {&causes, 1457, 5850}};
  for (const auto& d : dialogs) {
    EXPECT_EQ(d.dialog->windowTitle(), T(d.caption));
    EXPECT_EQ(d.dialog->property(kHelpContextProperty).toInt(), d.help);
  }

  EXPECT_EQ(font.findChild<QComboBox*>("cbSize")->currentText(), "12");
  const struct { int size, item; } sizes[] = {{8, 0}, {9, 1}, {10, 2}, {16, 8}, {7, 0}, {1, 2}};
  for (const auto& s : sizes) EXPECT_EQ(TfmFarb::SizeItemOf(T(1402), s.size), s.item) << s.size;
  // Received on port 1: text colour 2 on background 15; the lists hold
  // colours 1..19 and a change repaints the preview.
  auto* text = font.findChild<QComboBox*>("cbFgE1");
  auto* background = font.findChild<QComboBox*>("cbHgE1");
  QListWidgetItem* preview = font.findChild<QListWidget*>("lbE1")->item(0);
  ASSERT_TRUE(text && background && preview);
  EXPECT_EQ(text->count(), 19);
  EXPECT_EQ(text->itemText(0), T(1416));
  EXPECT_EQ(text->currentText(), T(1417));
  EXPECT_EQ(background->currentText(), T(1430));
  EXPECT_EQ(preview->text(), T(1408));
  EXPECT_EQ(preview->foreground().color(), Colour(2));
  background->setCurrentIndex(11);
  EXPECT_EQ(preview->background().color(), Colour(12));
  EXPECT_EQ(font.Font().pairs[0], ColourPair(2, 12));
  EXPECT_EQ(font.findChild<QListWidget*>("lbErr")->item(0)->text(), T(1413));

  // One row per value, named from the name tables, each in its own pair
  // (text colour 1 where the pair has none).
  auto* rows = types.findChild<QListWidget*>("lbTyp");
  ASSERT_EQ(rows->count(), 256);
  EXPECT_EQ(rows->item(9)->text(), "   9    " + T(79));
  EXPECT_EQ(rows->item(200)->text(), " 200    " + T(198));
  EXPECT_EQ(rows->item(9)->foreground().color(), Colour(1));
  EXPECT_EQ(rows->item(9)->background().color(), Colour(12));
  auto* causeRows = causes.findChild<QListWidget*>("lbTyp");
  EXPECT_EQ(causeRows->item(1)->text(), "   1    " + T(201));
  EXPECT_EQ(causeRows->item(100)->text(), " 100    ");
  auto* cbFg = types.findChild<QComboBox*>("cbFg");
  EXPECT_EQ(cbFg->count(), 20);
  EXPECT_EQ(cbFg->itemText(3), "  3 " + T(1418));
}

TEST_F(ColourDialogsTest, SpacingOutsideItsRangeBlocksOk) {
  TfmFarb dialog(instance);
  auto* spacing = dialog.findChild<QLineEdit*>("sfLeerZl");
  EXPECT_EQ(spacing->text(), "50");
  const struct {
    const char* text;
    bool valid;
  } rows[] = {{"-1", false}, {"101", false}, {"x", false}, {"", false}, {"0", true}, {"100", true}};
  for (const auto& row : rows) {
    dialog.setResult(0);
    spacing->setText(row.text);
    Click(dialog, "btnOK");
    EXPECT_EQ(dialog.result() == QDialog::Accepted, row.valid) << row.text;
    EXPECT_EQ(spacing->palette().color(QPalette::Base) == QPalette().color(QPalette::Base),
              row.valid)
        << row.text;
    if (row.valid) {
      EXPECT_EQ(dialog.Font().spacing, std::atoi(row.text));
    }
  }
}

TEST_F(ColourDialogsTest, CancelKeepsTheSettings) {
  const Settings before = instance.settings;
  OnDialog<TfmFarb>([&] { EXPECT_FALSE(EditTelegramFont(nullptr, instance)); },
                    [](TfmFarb& d) {
                      d.findChild<QComboBox*>("cbSize")->setCurrentIndex(5);
                      d.findChild<QComboBox*>("cbFgE2")->setCurrentIndex(7);
                      d.findChild<QLineEdit*>("sfLeerZl")->setText("20");
                      Click(d, "btnAbbr");
                    });
  for (const bool causes : {false, true}) {
    OnDialog<TfmFrbSel>([&] { EXPECT_FALSE(EditValueColours(nullptr, instance, causes)); },
                        [](TfmFrbSel& d) {
                          d.findChild<QListWidget*>("lbTyp")->setCurrentRow(4);
                          d.findChild<QComboBox*>("cbHg")->setCurrentIndex(13);
                          Click(d, "btnAbbr");
                        });
  }
  EXPECT_EQ(instance.settings.telFont, before.telFont);
  EXPECT_EQ(instance.settings.typeColours, before.typeColours);
  EXPECT_EQ(instance.settings.causeColours, before.causeColours);
}

TEST_F(ColourDialogsTest, WhatOkStoresReachesTheLogFontAndTheDrawnPairs) {
  TfmMain window(instance, {});
  window.timer()->stop();
  // Font 14, spacing 80, sent on port 1 in red (item 2 = colour 3).
  OnDialog<TfmFarb>([&] { window.action("miTelSize")->trigger(); },
                    [](TfmFarb& d) {
                      auto* size = d.findChild<QComboBox*>("cbSize");
                      size->setCurrentIndex(size->findText("14"));
                      d.findChild<QLineEdit*>("sfLeerZl")->setText("80");
                      d.activateWindow();
                      QApplication::processEvents();
                      d.findChild<QComboBox*>("cbFgS1")->setFocus();
                      d.findChild<QComboBox*>("cbFgS1")->setCurrentIndex(2);
                      Click(d, "btnOK");
                    });
  const TTelFont& font = instance.settings.telFont;
  EXPECT_EQ(font.fontSize, 14);
  EXPECT_EQ(font.spacing, 80);
  EXPECT_EQ(font.pairs[1], ColourPair(3, 15));
  EXPECT_EQ(window.canvas()->font().pointSize(), 14);
  // The list that had the focus has it again when the dialog opens next.
  EXPECT_EQ(font.lastControl, 4u);
  TfmFarb again(instance);
  EXPECT_EQ(again.focusWidget(), again.findChild<QComboBox*>("cbFgS1"));

  // Type 9: red text only; cause 1: black on light green; cause 2 is hidden
  // by the type's pair.
  const auto choose = [](int row, int text, int background) {
    return [=](TfmFrbSel& d) {
      d.findChild<QListWidget*>("lbTyp")->setCurrentRow(row);
      d.findChild<QComboBox*>("cbFg")->setCurrentIndex(text);
      d.findChild<QComboBox*>("cbHg")->setCurrentIndex(background);
      Click(d, "btnOK");
    };
  };
  OnDialog<TfmFrbSel>([&] { window.action("miFrbTyp")->trigger(); }, choose(9, 3, 0));
  OnDialog<TfmFrbSel>([&] { window.action("miFrbUrs")->trigger(); }, choose(1, 1, 13));
  OnDialog<TfmFrbSel>([&] { window.action("miFrbUrs")->trigger(); }, choose(2, 5, 14));
  EXPECT_EQ(instance.settings.typeColours.pairs[9], ColourPair(3, 0));
  EXPECT_EQ(instance.settings.typeColours.selectedValue, 9u);
  EXPECT_EQ(instance.settings.causeColours.pairs[1], ColourPair(1, 13));

  const struct {
    const std::string& frame;
    std::uint8_t status, channel;
    std::uint16_t pair;
  } rows[] = {
      {kType9Cause2, 40, 4, ColourPair(3, 15)},  // channel 4 (7, 15), type text 3
      {kType1Cause1, 40, 3, ColourPair(1, 13)},  // no type pair: the cause's
      {kType1Cause1, 40, 2, ColourPair(1, 13)},
      {kType1Cause1, 20, 1, font.pairs[5]},  // faulty: no override
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DrawnPair(Entry(row.frame, row.status, row.channel)), row.pair)
        << int{row.channel} << " " << int{row.status};
  }
}

}  // namespace
}  // namespace kivo
