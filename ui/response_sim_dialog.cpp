#include "ui/response_sim_dialog.h"

#include "app/instance.h"

namespace kivo {

bool OpenResponseSimDialog(QWidget* /*mainWindow*/, Instance& /*instance*/) {
  return false;
}

}  // namespace kivo
