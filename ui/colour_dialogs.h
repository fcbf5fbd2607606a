// TfmFarb, the telegram font and its colour pairs, and TfmFrbSel, the colours
// of single type identifications or causes of transmission.
#pragma once

#include <QWidget>

namespace kivo {

class Instance;

// The telegram font dialog; true when left with OK (the caller applies the
// font and colours to the log view).
bool EditTelegramFont(QWidget* mainWindow, Instance& instance);
// The colours of types (`causes` false) or causes; true when left with OK.
bool EditValueColours(QWidget* mainWindow, Instance& instance, bool causes);

}  // namespace kivo
