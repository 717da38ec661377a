// --upload: a settings file written into the charger.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// The whole file is read and checked on its own first; then the charger's settings are retrieved,
// so that the file is judged against what this charger has and holds; only then is anything
// written (--force: a file of another model, skipping what it lacks). A setting whose read failed
// is written from the file all the same (the file holds what the user wants there), and named.
// Returns the file's, the retrieve's, the checks' (94) or the store's status.
int uploadFile(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
