#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal_line.h"

namespace sunlink {

namespace {

// The text's first columns - 1 characters (the last column is left free: a line that fills the
// width makes some terminals wrap). A column count of 0 (a terminal that does not know it) cuts
// nothing.
std::string fitted(const std::string& text) {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return text;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A UTF-8 continuation byte belongs to the character before it.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++characters == size.ws_col) return text.substr(0, i);
  }
  return text;
}

}  // namespace

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// ANSI/VT100: carriage return to the start of the line, then erase to its end; the whole line goes
// whatever was drawn on it.
std::string terminalLineRewrite(const std::string&, const std::string& text) {
  return "\r\033[K" + fitted(text);
}

}  // namespace sunlink
