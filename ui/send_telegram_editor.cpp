#include "ui/send_telegram_editor.h"

#include "app/instance.h"

namespace kivo {

void OpenSendTelegramEditor(QWidget* /*mainWindow*/, Instance& /*instance*/, int /*n*/) {}

}  // namespace kivo
