// The one-shot device commands: --reset, --erase, --clock, --switch-on, --switch-off.
#pragma once

#include "app/chgtune_run.h"
#include "app/cli.h"
#include "charger/charger_settings.h"

namespace sunlink {

// Whether the options give a device command.
bool asksDeviceCommand(const CommandLine& options);
// The first device command given runs, in the order above, and its result is the run's status;
// the others are left aside.
int runDeviceCommand(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
