// The one line of progress a long piece of work keeps on a terminal's standard error: how to tell
// that standard error is a terminal, and the bytes that draw, redraw and erase that line in place.
#pragma once

#include <string>

namespace sunlink {

// Whether standard error is a terminal (a console on Windows), where a progress line may be drawn.
bool standardErrorIsTerminal();

// The bytes that replace the progress line shown (the text drawn last, "" when none is) with text
// ("" erases it), on the line the cursor is on, which holds nothing else. After them the cursor
// stands at the end of the new text, or at the start of the line when it was erased. A text wider
// than the terminal is cut short, so that it stays on one line that can be redrawn.
std::string terminalLineRewrite(const std::string& shown, const std::string& text);

}  // namespace sunlink
