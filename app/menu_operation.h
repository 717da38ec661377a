// The interactive menu: the settings shown, changed key by key, and stored when the user leaves.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// On retrieved settings. The dump is off while the menu owns the console, so that line traffic
// does not garble the screen, and back on for the store. Returns the store's status when something
// was changed, 0 when nothing was; -1 when standard input ended before x: nothing is stored, as
// the user never confirmed the changes.
int runMenuAndStore(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
