// --download: the charger's settings saved to a settings file, or with "-" to standard output.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// Retrieves the settings and writes them with the charger's identity (and the serial number its
// TEXT blocks carried). A backup that lacks settings is still made, but ends with the retrieve's
// status and names what is missing: a script must not take it for a whole one. Otherwise the
// write's status.
int downloadSettings(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
