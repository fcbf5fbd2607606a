#include "ui/colour_dialogs.h"

#include "app/instance.h"

namespace kivo {

bool EditTelegramFont(QWidget* /*mainWindow*/, Instance& /*instance*/) {
  return false;
}

bool EditValueColours(QWidget* /*mainWindow*/, Instance& /*instance*/, bool /*causes*/) {
  return false;
}

}  // namespace kivo
