// TfmRm: the command-response simulation, its switch and the table of up to
// 100 rows, edited in place with a backup that Cancel restores.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// Runs the dialog modally beside the main window; true when left with OK.
bool OpenResponseSimDialog(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
