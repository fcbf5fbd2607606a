#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "app/instance.h"
#include "app/send_commands.h"
#include "gui/screenshots.h"
#include "ui/colour_dialogs.h"
#include "ui/editor_support.h"
#include "ui/log_canvas.h"
#include "ui/main_window.h"

namespace kivo {

namespace {

constexpr const char* kShownTypes[] = {"TYP7 ", "TYP5 ", "TYP20 "};

struct RowColours {
  int value, text, background;
};

// Opens a colour dialog through its menu item, gives each row its colours
// through the lists, saves the picture with the last row selected and
// leaves the dialog with OK.
int ShootValueColours(ShotScene& scene, const char* item, const char* name,
                      std::initializer_list<RowColours> rows) {
  bool saved = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfmFrbSel*>(QApplication::activeModalWidget());
    if (!dialog) return;
    auto* list = dialog->findChild<QListWidget*>("lbTyp");
    for (const RowColours& row : rows) {
      list->setCurrentRow(row.value);
      dialog->findChild<QComboBox*>("cbFg")->setCurrentIndex(row.text);
      dialog->findChild<QComboBox*>("cbHg")->setCurrentIndex(row.background);
    }
    list->scrollToItem(list->currentItem(), QAbstractItemView::PositionAtCenter);
    RunEvents(150);
    saved = scene.Save(*dialog, name);
    dialog->findChild<QPushButton*>("btnOK")->click();
  });
  scene.window.action(item)->trigger();
  if (!saved) std::printf("FAILED %s\n", name);
  return saved ? 0 : 1;
}

}  // namespace

// The telegram font dialog with the colours of the settings, the colours of
// the types and of the causes as the operator sets them, and the online
// display drawn in those colours.
int ShootColourDialogs(ShotScene& scene) {
  Settings& settings = scene.instance.settings;
  const TTelFont font = settings.telFont;
  const TValueColours types = settings.typeColours;
  const TValueColours causes = settings.causeColours;
  int failures = 0;
  {
    TfmFarb dialog(scene.instance, &scene.window);
    PlaceBesideMain(&dialog, &scene.window);
    dialog.show();
    RunEvents(150);
    if (!scene.Save(dialog, "telegram-font")) ++failures;
    dialog.reject();
  }
  // Identifications on light yellow, general commands white on purple,
  // responses with a time tag in red; the cause of a general interrogation
  // on light blue.
  failures +=
      ShootValueColours(scene, "miFrbTyp", "type-colours", {{5, 0, 14}, {20, 8, 7}, {1, 3, 0}});
  failures += ShootValueColours(scene, "miFrbUrs", "cause-colours", {{9, 0, 11}, {2, 9, 0}});
  // A general interrogation, an identification and a general command go
  // out, one line each so that all of them stand in the picture between the
  // polls. The online display paints one entry a tick and passes over what
  // it cannot keep up with: the three are sent again until it shows them
  // together.
  scene.window.action("miLogN")->trigger();
  const auto shown = [&scene] {
    const QStringList lines = scene.window.canvas()->Lines();
    return std::all_of(std::begin(kShownTypes), std::end(kShownTypes), [&lines](const char* type) {
      return std::any_of(lines.begin(), lines.end(),
                         [type](const QString& line) { return line.contains(type); });
    });
  };
  bool allShown = false;
  for (int attempt = 0; attempt < 5 && !allShown; ++attempt) {
    for (const int telegram : {7, 5, 10}) {
      OperatorSendNow(scene.instance, scene.instance.send.Telegram(telegram));
      RunEvents(150);
    }
    for (int wait = 0; wait < 20 && !allShown; ++wait) {
      RunEvents(50);
      allShown = shown();
    }
  }
  if (!allShown) {
    std::printf("FAILED the coloured telegrams are not in the online display together\n");
    ++failures;
  }
  if (!scene.Save(scene.window, "main-coloured")) ++failures;
  scene.window.action("miLog")->trigger();
  settings.telFont = font;
  settings.typeColours = types;
  settings.causeColours = causes;
  scene.window.RedrawView(0);
  return failures;
}

}  // namespace kivo
