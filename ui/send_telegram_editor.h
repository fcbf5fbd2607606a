// TfmSeTe: the editor of one send telegram. It works on a work copy and
// commits it on OK or Send; Send also starts the telegram.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// Opens the editor for telegram n (1 to 12) beside the main window. While a
// send editor (telegram or list) is open, only brings that one to the front.
void OpenSendTelegramEditor(QWidget* mainWindow, Instance& instance, int n);

}  // namespace kivo
