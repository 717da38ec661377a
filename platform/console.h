// The console of the interactive menus.
#pragma once

namespace sunlink {

// Clears the terminal and homes the cursor when standard output is a terminal; writes nothing when
// it is a pipe or a file, so scripted runs and logs stay clean.
void clearScreen();

// Whether standard output is a terminal, where the menus' screens are cleared and redrawn.
bool standardOutputIsTerminal();

// Whether standard input is a terminal, where a person types the answers (not a script or a file).
bool standardInputIsTerminal();

// From now on the bytes written to standard output reach it unchanged, for a document that must be
// the same as the file a download writes. Windows' C runtime would otherwise write each LF as
// CR LF; Linux never changes them.
void writeStandardOutputUnchanged();

}  // namespace sunlink
