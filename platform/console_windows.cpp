#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "platform/console.h"

namespace sunlink {

namespace {

HANDLE standardOutput() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out == nullptr ? INVALID_HANDLE_VALUE : out;
}

}  // namespace

// The console API: every cell of the screen buffer blanked, colours kept, cursor to the top-left
// corner. Only for a console: when standard output is a pipe or a file, GetConsoleScreenBufferInfo
// fails and nothing is written, so scripted runs and logs stay clean.
void clearScreen() {
  std::cout.flush();
  const HANDLE out = standardOutput();
  if (out == INVALID_HANDLE_VALUE) return;
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!GetConsoleScreenBufferInfo(out, &screen)) return;
  const DWORD cells = static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y);
  const COORD home = {0, 0};
  DWORD written = 0;
  FillConsoleOutputCharacterW(out, L' ', cells, home, &written);
  SetConsoleCursorPosition(out, home);
}

// A console has a mode; a pipe, a file or NUL has none.
bool standardOutputIsTerminal() {
  DWORD mode = 0;
  const HANDLE out = standardOutput();
  return out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode) != FALSE;
}

// A console has a mode; a pipe, a file or NUL has none.
bool standardInputIsTerminal() {
  DWORD mode = 0;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  return in != nullptr && in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode) != FALSE;
}

int terminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  const HANDLE out = standardOutput();
  if (out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &screen)) return 0;
  return screen.srWindow.Right - screen.srWindow.Left + 1;
}

// The console API, as clearScreen: the cells from the panel's first row to the end of the screen
// buffer blanked, the cursor to the start of that row.
void eraseRowsAbove(std::ostream& out, int rows) {
  out.flush();
  std::fflush(stdout);
  if (rows <= 0) return;
  const HANDLE console = standardOutput();
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &screen)) return;
  const SHORT top =
      static_cast<SHORT>(screen.dwCursorPosition.Y > rows ? screen.dwCursorPosition.Y - rows : 0);
  const COORD from = {0, top};
  const DWORD cells =
      static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y - top);
  DWORD written = 0;
  FillConsoleOutputCharacterW(console, L' ', cells, from, &written);
  SetConsoleCursorPosition(console, from);
}

// Binary mode: the C runtime then passes LF through as it is. The streams write through stdout,
// so what they hold already goes out first, as it was meant.
void writeStandardOutputUnchanged() {
  std::cout.flush();
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace sunlink
