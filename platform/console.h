// The console of the interactive menus and of the watch's panel.
#pragma once

#include <ostream>

namespace sunlink {

// Clears the terminal and homes the cursor when standard output is a terminal; writes nothing when
// it is a pipe or a file, so scripted runs and logs stay clean.
void clearScreen();

// Whether standard output is a terminal, where the menus' screens are cleared and redrawn.
bool standardOutputIsTerminal();

// Whether standard input is a terminal, where a person types the answers (not a script or a file).
bool standardInputIsTerminal();

// The width of the terminal of standard output in columns; 0 when it is no terminal or does not
// tell.
int terminalColumns();

// For a panel redrawn in place on the terminal of standard output, the cursor standing at the
// start of the row below the panel: moves it up over the panel's rows and clears from there to the
// end of the screen, so that what is written next takes their place instead of scrolling. out is
// the stream that writes to standard output; what it holds goes out first. Nothing for 0 rows.
void eraseRowsAbove(std::ostream& out, int rows);

// From now on the bytes written to standard output reach it unchanged, for a document that must be
// the same as the file a download writes. Windows' C runtime would otherwise write each LF as
// CR LF; Linux never changes them.
void writeStandardOutputUnchanged();

}  // namespace sunlink
