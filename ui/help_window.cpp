#include "ui/help_window.h"

#include "app/instance.h"

namespace kivo {

void ShowHelp(QWidget* /*parent*/, Instance& /*instance*/, int /*context*/) {}

void InstallHelpKey(QWidget* /*mainWindow*/, Instance& /*instance*/) {}

}  // namespace kivo
