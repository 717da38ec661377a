// The settings changed from the command line (--table, --sys, --abs, ...) and stored; without any
// accepted change, the interactive menu.
#pragma once

#include "app/chgtune_run.h"
#include "charger/charger_settings.h"

namespace sunlink {

// Retrieves the settings and applies each change given, each one on its own: a refused one is
// reported and the others still apply. When any was accepted: the store and the printout; the
// store's status, or -1 when it stored but some option was refused (named once more below the
// printout, so that neither a person nor a script takes the run for a whole success). When none
// was: the interactive menu (runMenuAndStore), or with --json, where there is no menu, -1.
int changeSettings(ChgtuneRun& run, ChargerSettings& model);

}  // namespace sunlink
