// --get: the charger's settings shown; nothing is changed.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// Retrieves the settings and prints them (with --json, puts them in the document). A printout
// that lacks settings is still shown, but ends with the retrieve's status (94) and names what is
// missing.
int getSettings(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
