// The run sequence of chgtune: banner, options, link, identification, then exactly one path.
// Returns the status the program ends with; main hands it to exitProgram.
#pragma once

#include "app/chgtune_run.h"

namespace sunlink {

// The program's run: the process's standard streams and the exchange time-outs of a real line.
// Starts watching termination requests (before any other thread exists), the log in its direct
// mode and the run-time clock first.
int runChgtune(int argc, char* argv[]);
// The run on the caller's streams and time-outs, in this process; the caller has set up the log
// and the clock.
int runChgtune(int argc, const char* const argv[], const RunEnvironment& environment);

}  // namespace sunlink
