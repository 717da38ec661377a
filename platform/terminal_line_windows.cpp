#include <windows.h>

#include "platform/terminal_line.h"

namespace sunlink {

namespace {

HANDLE standardError() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  return err == nullptr ? INVALID_HANDLE_VALUE : err;
}

// Characters of a UTF-8 text (its continuation bytes belong to the character before them).
std::size_t characters(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The console's code page is rarely UTF-8: the ellipsis is written as three full stops, and the
// text cut to the width of the console's window less one column.
std::string fitted(std::string text) {
  for (std::size_t at; (at = text.find("\xE2\x80\xA6")) != std::string::npos;)
    text.replace(at, 3, "...");
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!GetConsoleScreenBufferInfo(standardError(), &screen)) return text;
  const auto width = static_cast<std::size_t>(screen.srWindow.Right - screen.srWindow.Left + 1);
  if (width > 1 && characters(text) >= width) text.resize(width - 1);
  return text;
}

}  // namespace

// A console has a mode; a pipe, a file or NUL has none.
bool standardErrorIsTerminal() {
  DWORD mode = 0;
  const HANDLE err = standardError();
  return err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode) != FALSE;
}

// Without relying on the console's escape processing (off by default before Windows 10): the old
// text is overwritten with blanks, then the new one drawn from the start of the line.
std::string terminalLineRewrite(const std::string& shown, const std::string& text) {
  return "\r" + std::string(characters(fitted(shown)), ' ') + "\r" + fitted(text);
}

}  // namespace sunlink
