#include <windows.h>

#include <iostream>

#include "platform/console.h"

namespace sunlink {

// The console API: every cell of the screen buffer blanked, colours kept, cursor to the top-left
// corner. Only for a console: when standard output is a pipe or a file, GetConsoleScreenBufferInfo
// fails and nothing is written, so scripted runs and logs stay clean.
void clearScreen() {
  std::cout.flush();
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!GetConsoleScreenBufferInfo(out, &screen)) return;
  const DWORD cells = static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y);
  const COORD home = {0, 0};
  DWORD written = 0;
  FillConsoleOutputCharacterW(out, L' ', cells, home, &written);
  SetConsoleCursorPosition(out, home);
}

}  // namespace sunlink
