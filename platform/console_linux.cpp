#include <unistd.h>

#include <iostream>

#include "platform/console.h"

namespace sunlink {

// ANSI/VT100: erase the whole display, then cursor home. Only for a terminal: a pipe or a file
// would keep the escape codes as garbage in logs and scripted runs.
void clearScreen() {
  std::cout.flush();
  if (!standardOutputIsTerminal()) return;
  std::cout << "\033[2J\033[H" << std::flush;
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void writeStandardOutputUnchanged() {}

}  // namespace sunlink
