#include "gui/screenshots.h"

namespace kivo {

int ShootHelpWindow(ShotScene& /*scene*/) {
  return 0;
}

}  // namespace kivo
