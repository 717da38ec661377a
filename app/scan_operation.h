// --scan: the MPPT chargers on the machine's serial ports, listed; no link is kept.
#pragma once

#include "app/chgtune_run.h"

namespace sunlink {

// Every port probed as discovery probes it (only the one named with --serial), none kept, nothing
// written; one line per MPPT charger found (with --json, the document's chargers and ports). 0 when
// there was one; when there was none, 11 only if every port was probed: a port that could not be
// (busy, no permission) may hold the charger a script is looking for, so that ends with -1.
int scanForChargers(ChgtuneRun& run);

}  // namespace sunlink
