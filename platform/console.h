// The console of the interactive menus.
#pragma once

namespace sunlink {

// Clears the terminal and homes the cursor when standard output is a terminal; writes nothing when
// it is a pipe or a file, so scripted runs and logs stay clean.
void clearScreen();

// Whether standard output is a terminal, where the menus' screens are cleared and redrawn.
bool standardOutputIsTerminal();

}  // namespace sunlink
