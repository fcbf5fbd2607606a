#include <QDialog>

#include "app/instance.h"
#include "gui/screenshots.h"
#include "log/log_filter.h"
#include "ui/editor_support.h"
#include "ui/filter_dialog.h"
#include "ui/main_window.h"

namespace kivo {

namespace {

void SetCriterion(TLogFilter& filter, std::uint32_t kind, std::uint32_t mode, int value1,
                  std::uint32_t operatorCode, int value2) {
  TFilterCriterion& c = filter.criteria[kind - kFirstCriterionKind];
  c.mode = mode;
  c.value1 = value1;
  c.operatorCode = operatorCode;
  c.value2 = value2;
}

}  // namespace

// The display filter with the general commands and their answers of one
// device, without polls, on the channels of port 1; the log filter that
// keeps valid telegrams of link addresses 1 to 3 only.
int ShootFilterDialog(ShotScene& scene) {
  GeneralParams& general = scene.instance.general;
  const TLogFilter displayBefore = general.displayFilter;
  const TLogFilter logBefore = general.logFilter;
  TLogFilter& display = general.displayFilter;
  display = NormalisedFilter();
  SetCriterion(display, kKindType, kModeMustMatch, 20, kOperatorEither, 1);
  SetCriterion(display, kKindCause, kModeMustNotMatch, 1, kOperatorRange, 2);
  SetCriterion(display, kKindFunctionCode, kModeMustNotMatch, 11, kOperatorEqual, 0);
  SetCriterion(display, kKindCommonAddress, kModeMustMatch, 1, kOperatorEqual, 0);
  display.channels = 0x3;
  display.lastControl = 18;  // the Value1 field of the type row
  Normalise(display);
  TLogFilter& log = general.logFilter;
  log = NormalisedFilter();
  SetCriterion(log, kKindLinkAddress, kModeMustMatch, 1, kOperatorRange, 3);
  log.showFaulty = 0;
  Normalise(log);

  int failures = 0;
  for (const bool logFilter : {false, true}) {
    TfmFlt dialog(scene.instance, logFilter, &scene.window);
    PlaceBesideMain(&dialog, &scene.window);
    dialog.show();
    RunEvents(200);
    if (!scene.Save(dialog, logFilter ? "filter-dialog-log" : "filter-dialog")) ++failures;
    dialog.reject();
  }
  general.displayFilter = displayBefore;
  general.logFilter = logBefore;
  return failures;
}

}  // namespace kivo
