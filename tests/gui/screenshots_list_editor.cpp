#include "gui/screenshots.h"

namespace kivo {

int ShootListEditor(ShotScene& /*scene*/) {
  return 0;
}

}  // namespace kivo
