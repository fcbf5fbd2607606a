#include "gui/screenshots.h"

namespace kivo {

int ShootOutputDialog(ShotScene& /*scene*/) {
  return 0;
}

}  // namespace kivo
