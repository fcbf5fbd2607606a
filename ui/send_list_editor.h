// TfmSeLi: the editor of one send list, its header fields and the table of
// its 400 rows. It works on a work copy and commits it on OK or Send; Send
// also starts the list.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// Opens the editor for list n (1 to 12) beside the main window. While a send
// editor (telegram or list) is open, only brings that one to the front.
void OpenSendListEditor(QWidget* mainWindow, Instance& instance, int n);

// A pass of list n ended: the open list editor of that list moves its table
// cursor to where the next pass starts.
void NotifyListPassEnded(QWidget* mainWindow, int n);

}  // namespace kivo
