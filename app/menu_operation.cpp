#include "app/menu_operation.h"

#include <ostream>

#include "app/settings_steps.h"
#include "base/errors.h"
#include "base/statuses.h"
#include "charger/menus.h"

namespace sunlink {

int runMenuAndStore(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  run.dump().disconnectDump();
  model.printSettings();
  bool changed = false;
  try {
    changed = runMainMenu(model);
  } catch (const input_ended&) {
    output.lines() << std::endl;
    output.err() << "Input ended before x was typed: the settings were not stored." << std::endl;
    return kExitFailure;
  }
  if (run.options().has("dump")) run.dump().connectDump();
  return changed ? storeAndShow(run, model) : kExitOk;
}

}  // namespace sunlink
