// A menu screen as one table: each line with the key that picks it, when the charger offers it and
// what it does. The listing, the keys named in the prompt and the keys taken all come from the same
// entries, so a screen cannot offer a key it then refuses, nor take one it never shows unless its
// entry says so. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "console/console_session.h"

namespace sunlink {

// A condition on the charger and its settings as they are now; nullptr where one may stand means
// "always".
using MenuGuard = bool (*)(ConsoleSession&);
using MenuAction = void (*)(ConsoleSession&);

// The text of a line: fixed, or made from the settings when the line is shown. A made text may read
// settings that exist only where its line is offered: it is never made for a line left out.
class MenuText {
 public:
  MenuText(const char* fixed) : fixed_(fixed) {}  // NOLINT(runtime/explicit): tables list literals
  template <typename Make>
  MenuText(Make make) : make_(make) {}  // NOLINT(runtime/explicit): and text-making functions

  std::string operator()(ConsoleSession& session) const { return make_ ? make_(session) : fixed_; }

 private:
  const char* fixed_ = "";
  std::string (*make_)(ConsoleSession&) = nullptr;
};

// How an entry's key is taken.
enum class MenuTaken {
  kWhenOffered,  // only while the line is offered
  kAlways,       // also while the line is left out
  kLeaves,       // always; it ends the menu (named last, after " or ")
};

// One line of a screen.
struct MenuEntry {
  const char* key = nullptr;    // nullptr: a line without a key (a title, a note, an empty line)
  MenuText text;                // what follows "key - ", or the whole line without a key
  MenuGuard offered = nullptr;  // the line is shown, its key named in the prompt and taken
  MenuAction act = nullptr;     // what the key does; nullptr in a list of values for a setter
  MenuGuard named = nullptr;    // when offered, whether the prompt names the key; nullptr: it does
  MenuTaken taken = MenuTaken::kWhenOffered;
  // The setting the key changes (nullptr: none): the line is left out while the charger lacks it.
  const char* setting = nullptr;
};

// Capability guards: true when the charger has any of the flags.
template <std::uint32_t Flags>
bool chargerHas(ConsoleSession& session) {
  return session.model.has(Flags);
}
inline bool never(ConsoleSession&) { return false; }

// A table of entries as a range.
struct Menu {
  const MenuEntry* first;
  const MenuEntry* last;
  template <std::size_t N>
  Menu(const MenuEntry (&table)[N]) : first(table), last(table + N) {}  // NOLINT
  const MenuEntry* begin() const { return first; }
  const MenuEntry* end() const { return last; }
};

// Whether the entry's line is shown now.
bool isOffered(ConsoleSession& session, const MenuEntry& entry);
// Writes the offered lines, each with its line end: "key - text", or the text alone.
void writeMenuLines(ConsoleSession& session, Menu menu);
// The keys the prompt names, in table order, joined by ",": "v,a,b". The leaving key is not among
// them.
std::string namedKeys(ConsoleSession& session, Menu menu);
// The entry the whole answer picks: the first whose key equals it and that takes it now; nullptr
// when none does.
const MenuEntry* menuEntryFor(ConsoleSession& session, Menu menu, const std::string& answer);

// Runs a key menu until its leaving key: writes the offered lines (every pass, so each shows the
// settings as they are now), the messages held since the last prompt, and "Select an option (type
// <keys> or <leaving key> and press enter): "; reads the answer, acts on it or reports an unknown
// option, and redraws the settings. With drawFirst the settings are also drawn before the first
// pass. Returns whether the settings list differs from what it was when the menu was entered.
// When it differs and mayLeave is given, the leaving key is taken only when mayLeave agrees (it
// says why not on io.err); otherwise the screen is redrawn and the menu goes on.
bool runMenu(ConsoleSession& session, Menu menu, bool drawFirst, MenuGuard mayLeave = nullptr);

}  // namespace sunlink
