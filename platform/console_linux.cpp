#include <sys/ioctl.h>
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

int terminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

// ANSI/VT100: cursor up (which keeps the column, here the first), then erase to the end of the
// display.
void eraseRowsAbove(std::ostream& out, int rows) {
  if (rows > 0) out << "\033[" << rows << "A\033[J";
}

void writeStandardOutputUnchanged() {}

}  // namespace sunlink
