#include "ui/filter_dialog.h"

#include "app/instance.h"

namespace kivo {

bool RunFilterDialog(QWidget* /*mainWindow*/, Instance& /*instance*/, bool /*logFilter*/) {
  return false;
}

}  // namespace kivo
