#include "gui/screenshots.h"

namespace kivo {

int ShootResponseSimDialog(ShotScene& /*scene*/) {
  return 0;
}

}  // namespace kivo
