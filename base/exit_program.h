// The one way the program ends.
#pragma once

namespace sunlink {

// A step that must run before the program ends: it lets go of what the run holds open (the link,
// and with it the port). It throws when that fails; the program then ends at once with status 10.
using ExitStep = void (*)();

// Sets the step exitProgram runs first (one step; setting it again replaces it). Main thread only.
void setExitStep(ExitStep step);

// Called once, first thing in exitProgram, with the status the run ends with: the run's last word
// (its JSON document with --json) is written there, whichever way the run ends. Must not throw.
void setExitReport(void (*report)(int status));

// Runs the exit step (status 10 if it throws), logs the run time ("done in %03d.%03d"), writes the
// log backlog and ends the process with status. When standard output could not be written, one
// line on standard error says so and a status of 0 becomes -1.
[[noreturn]] void exitProgram(int status);

}  // namespace sunlink
