#include "console/menu_table.h"

#include <ostream>

#include "console/menu_input.h"

namespace sunlink {

bool isOffered(ConsoleSession& session, const MenuEntry& entry) {
  if (entry.setting != nullptr && session.model.lacks(entry.setting)) return false;
  return entry.offered == nullptr || entry.offered(session);
}

void writeMenuLines(ConsoleSession& session, Menu menu) {
  std::ostream& out = *session.io.out;
  for (const MenuEntry& entry : menu) {
    if (!isOffered(session, entry)) continue;
    if (entry.key != nullptr) out << entry.key << " - ";
    out << entry.text(session) << "\n";
  }
}

std::string namedKeys(ConsoleSession& session, Menu menu) {
  std::string keys;
  for (const MenuEntry& entry : menu) {
    if (entry.key == nullptr || entry.taken == MenuTaken::kLeaves) continue;
    if (!isOffered(session, entry) || (entry.named != nullptr && !entry.named(session))) continue;
    if (!keys.empty()) keys += ",";
    keys += entry.key;
  }
  return keys;
}

const MenuEntry* menuEntryFor(ConsoleSession& session, Menu menu, const std::string& answer) {
  for (const MenuEntry& entry : menu) {
    if (entry.key == nullptr || answer != entry.key) continue;
    if (entry.taken != MenuTaken::kWhenOffered || isOffered(session, entry)) return &entry;
  }
  return nullptr;
}

namespace {

void writePrompt(ConsoleSession& session, Menu menu) {
  std::ostream& out = *session.io.out;
  out << "Select an option (type " << namedKeys(session, menu);
  for (const MenuEntry& entry : menu) {
    if (entry.taken == MenuTaken::kLeaves) out << " or " << entry.key;
  }
  out << " and press enter): ";
}

}  // namespace

bool runMenu(ConsoleSession& session, Menu menu, bool drawFirst, MenuGuard mayLeave) {
  MessageEcho echo(session.io);
  const std::vector<std::string> before = session.model.values();
  if (drawFirst) session.redraw();
  for (;;) {
    writeMenuLines(session, menu);
    showHeldMessages(session.io);
    writePrompt(session, menu);
    const MenuEntry* entry = menuEntryFor(session, menu, session.answerLine());
    if (entry != nullptr && entry->taken == MenuTaken::kLeaves) {
      const bool changed = session.model.values() != before;
      if (!changed || mayLeave == nullptr || mayLeave(session)) return changed;
    } else if (entry != nullptr && entry->act != nullptr) {
      entry->act(session);
    } else {
      reportUnknownOption(session.io);
    }
    session.redraw();
  }
}

}  // namespace sunlink
