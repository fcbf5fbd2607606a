// What the scenes of the screenshot program share: the main window online
// with traffic between its two ports, the directory and the language tag.
#pragma once

#include <QString>

class QWidget;

namespace kivo {

class Instance;
class TfmMain;

struct ShotScene {
  Instance& instance;
  TfmMain& window;
  QString directory;
  QString tag;  // "en" or "de"
  // Saves directory/name-tag.png and says so; false on failure.
  bool Save(QWidget& widget, const QString& name) const;
};

// Lets the event loop run for a while.
void RunEvents(int milliseconds);

// The scenes of the editors; each returns its number of failures.
int ShootTypePicker(ShotScene& scene);
int ShootTelegramEditor(ShotScene& scene);
int ShootListEditor(ShotScene& scene);
int ShootResponseSimDialog(ShotScene& scene);
int ShootFilterDialog(ShotScene& scene);
int ShootColourDialogs(ShotScene& scene);
int ShootOutputDialog(ShotScene& scene);
int ShootHelpWindow(ShotScene& scene);

}  // namespace kivo
