#include "gui/screenshots.h"

namespace kivo {

int ShootFilterDialog(ShotScene& /*scene*/) {
  return 0;
}

}  // namespace kivo
