#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>

#include "gui/screenshots.h"
#include "ui/main_window.h"
#include "ui/output_dialog.h"

namespace kivo {

// The dialog as it opens, with a PDF file as printer, and while a text output runs: the progress
// bar, Cancel in OK's place and the running hint. The output is cancelled, so it leaves no file.
int ShootOutputDialog(ShotScene& scene) {
  int failures = 0;
  TfmDruk dialog(scene.instance, &scene.window);
  dialog.show();
  RunEvents(100);
  if (!scene.Save(dialog, "output-dialog")) ++failures;
  dialog.findChild<QRadioButton*>("rgrAusg1")->click();
  auto* printers = dialog.findChild<QComboBox*>("pcbDruk");
  printers->setCurrentIndex(printers->count() - 1);
  dialog.findChild<QComboBox*>("fcbFile")->setEditText("printout.pdf");
  RunEvents(100);
  if (!scene.Save(dialog, "output-dialog-pdf")) ++failures;

  dialog.findChild<QRadioButton*>("rgrAusg0")->click();
  dialog.findChild<QComboBox*>("fcbFile")->setEditText("screenshot-export");
  bool shot = false;
  int attempts = 0;
  // Taken once the bar has moved, at one of the stops every 100 entries.
  std::function<void()> shoot = [&] {
    auto* bar = dialog.findChild<QProgressBar*>("prbrDruk");
    if (bar->value() == 0 && ++attempts < 50) {
      QTimer::singleShot(0, &dialog, shoot);
      return;
    }
    shot = scene.Save(dialog, "output-dialog-running");
    dialog.findChild<QPushButton*>("btnAbbr")->click();
  };
  QTimer::singleShot(0, &dialog, shoot);
  dialog.findChild<QPushButton*>("btnOK")->click();
  if (!shot) {
    std::printf("FAILED output-dialog-running: the output never stopped for events\n");
    ++failures;
  }
  return failures;
}

}  // namespace kivo
