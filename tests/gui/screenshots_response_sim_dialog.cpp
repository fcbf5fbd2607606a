#include <QDialog>

#include "app/instance.h"
#include "gui/screenshots.h"
#include "ui/editor_support.h"
#include "ui/main_window.h"
#include "ui/response_sim_dialog.h"

namespace kivo {

// The simulation switched on with rows that answer in each way: positive and
// negative acknowledgements, response messages with a fixed DPI, the
// command's DCO or its inverse, and no response message.
int ShootResponseSimDialog(ShotScene& scene) {
  ResponseSimBlock& block = scene.instance.send.simulation;
  const ResponseSimBlock before = block;
  const struct {
    int inf, positive, negative, responseInf, state;
  } rows[] = {{16, 1, 0, 16, 4}, {17, 1, 0, 17, 5}, {18, 0, 1, -1, 4},
              {19, 1, 0, 64, 3}, {23, 0, 0, 23, 0}, {24, 1, 1, 24, 4}};
  int at = 0;
  for (const auto& r : rows) {
    ResponseSimRow& row = block.rows[static_cast<std::size_t>(at++)];
    row.commandInf = static_cast<std::uint8_t>(r.inf);
    row.positiveAck = static_cast<std::uint8_t>(r.positive);
    row.negativeAck = static_cast<std::uint8_t>(r.negative);
    row.responseInf = static_cast<std::int16_t>(r.responseInf);
    row.responseState = static_cast<std::uint8_t>(r.state);
  }
  block.simulationOn = 1;
  block.focusIndex = 1;  // the table, its cursor on the response INF of row 1
  block.editorRow = 1;
  block.editorCol = 4;
  int failures = 0;
  {
    TfmRm dialog(scene.instance, &scene.window);
    PlaceBesideMain(&dialog, &scene.window);
    dialog.show();
    RunEvents(200);
    if (!scene.Save(dialog, "response-sim-dialog")) ++failures;
    dialog.reject();
  }
  block = before;
  return failures;
}

}  // namespace kivo
