// TfmFlt: the display filter or the log filter, its rows, files and switch.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// Runs the dialog for the log filter (`logFilter`) or the display filter
// beside the main window; true when left with OK (the filter is then taken;
// the caller refreshes the status panels and the view).
bool RunFilterDialog(QWidget* mainWindow, Instance& instance, bool logFilter);

}  // namespace kivo
