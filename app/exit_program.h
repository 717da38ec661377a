// The one way the program ends, and the current link it closes on the way out.
#pragma once

#include <memory>

namespace sunlink {

class QmxSerial;

// The open link of this run, owned here from the moment main opens it (or discovery hands it over)
// until exitProgram. Main thread only.
QmxSerial* currentLink();
void setCurrentLink(std::unique_ptr<QmxSerial> link);
// Called once, first thing in exitProgram, with the status the run ends with: the run's last word
// (its JSON document with --json) is written there, whichever way the run ends. Must not throw.
void setExitReport(void (*report)(int status));

// Stops and destroys the current link (if any) and clears it; throws what stop throws.
void closeCurrentLink();

// Stops and destroys the current link (status 10 if that fails), logs the run time
// ("done in %03d.%03d"), writes the log backlog and ends the process with status. When standard
// output could not be written, one line on standard error says so and a status of 0 becomes -1.
[[noreturn]] void exitProgram(int status);

}  // namespace sunlink
