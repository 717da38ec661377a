// --compare: the charger's settings against a settings file; nothing is written to the charger.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// The file is read as --upload reads it and the settings are retrieved as --get retrieves them.
// 0 when the charger holds every setting that an upload of the file would write, 1 when one
// differs or the charger lacks it, 94 when one could not be read; a file that cannot be read, or a
// charger that does not answer, ends with its status.
int compareWithFile(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
