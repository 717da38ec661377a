// The steps on the charger's settings that several paths of the run share: the retrieve, the
// store, and showing the settings (the printout, or with --json the document).
#pragma once

#include "app/chgtune_run.h"
#include "app/json_report.h"
#include "app/run_output.h"
#include "charger/charger_settings.h"

namespace sunlink {

// Retrieves the charger's settings into the model (with its banner) and returns the retrieve's
// status: 0, or 94 when some settings could not be read. A charger that answers neither ping nor
// device id has nothing to show or change: that ends the run with 3 (run_ended) rather than
// pretending success.
int retrieveForRun(RunOutput& output, ChargerSettings& model);

// The store of the settings that differ from the charger's (with --dry-run only their report),
// listed in the document too. Returns the store's status.
int storeChanges(ChgtuneRun& run, ChargerSettings& model);
// The store, then the printout. The store's status decides the exit status: a store that failed
// must not end as a success for the scripts that call chgtune.
int storeAndShow(ChgtuneRun& run, ChargerSettings& model);

// The printout, or with --json the settings in the document instead.
void showSettings(RunOutput& output, ChargerSettings& model);
// The charger, its settings and its system voltage in the document.
void reportSettings(JsonReport& report, ChargerSettings& model);
// The system voltage the settings give, for the document's charger.
void reportSystemVoltage(JsonReport& report, ChargerSettings& model);

}  // namespace sunlink
