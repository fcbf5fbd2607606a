// The help: one page per help context in the language of the texts, shown
// in the program's own help window.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// The contents page of the help.
inline constexpr int kHelpContents = 0;

// Shows the page of a help context (the contents when there is none).
void ShowHelp(QWidget* parent, Instance& instance, int context);

// F1 in any window of the program shows the page of that window's help
// context (its kHelpContextProperty, else the contents); installed once by
// the main window.
void InstallHelpKey(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
