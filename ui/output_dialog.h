// TfmDruk: the log printed, written to a text file or copied into a log file.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// Runs the output dialog over the main window; true when an output ran to
// its end.
bool RunOutputDialog(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
