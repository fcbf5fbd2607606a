#include "ui/output_dialog.h"

#include "app/instance.h"

namespace kivo {

bool RunOutputDialog(QWidget* /*mainWindow*/, Instance& /*instance*/) {
  return false;
}

}  // namespace kivo
