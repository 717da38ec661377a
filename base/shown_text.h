// Text that comes from outside the program (a charger's model name and TEXT values, the labels of a
// settings file) made safe to show on a terminal. Such text is shown, never obeyed: an escape
// sequence in a model name must not retitle or clear the user's terminal, and a line break in it
// must not forge a line of the printout.
#pragma once

#include <string>
#include <string_view>

namespace sunlink {

// The text with every byte a terminal could act on written out as an escape: \n, \r, \t for the
// line end, carriage return and tab, and \xHH (two upper-case hex digits) for every other control
// character (0x00 to 0x1F, 0x7F, and the C1 controls U+0080 to U+009F, one escape per byte of
// their UTF-8 form) and for every byte that is not part of valid UTF-8 (stray continuation bytes,
// overlong forms, surrogates, code points above U+10FFFF, truncated sequences). Printable ASCII
// and valid UTF-8 pass unchanged, so a plain name reads as before; a backslash too, so that the
// paths in a message (C:\Users\...) stay readable.
std::string shownText(std::string_view text);

}  // namespace sunlink
