// The one way the program ends.
#pragma once

namespace sunlink {

// Ends the process with status, once the run has let go of everything it held (its link closed,
// its document written): logs the run time ("done in %03d.%03d"), writes the log backlog and exits.
// When standard output could not be written, one line on standard error says so first and a status
// of 0 becomes -1.
[[noreturn]] void exitProgram(int status);

}  // namespace sunlink
