#include "console/menu_table.h"

#include <ostream>

#include "console/menu_input.h"

namespace sunlink {

bool isOffered(ChargerSettings& model, const MenuEntry& entry) {
  if (entry.setting != nullptr && model.lacks(entry.setting)) return false;
  return entry.offered == nullptr || entry.offered(model);
}

void writeMenuLines(ChargerSettings& model, Menu menu) {
  std::ostream& out = *model.io.out;
  for (const MenuEntry& entry : menu) {
    if (!isOffered(model, entry)) continue;
    if (entry.key != nullptr) out << entry.key << " - ";
    out << entry.text(model) << "\n";
  }
}

std::string namedKeys(ChargerSettings& model, Menu menu) {
  std::string keys;
  for (const MenuEntry& entry : menu) {
    if (entry.key == nullptr || entry.taken == MenuTaken::kLeaves) continue;
    if (!isOffered(model, entry) || (entry.named != nullptr && !entry.named(model))) continue;
    if (!keys.empty()) keys += ",";
    keys += entry.key;
  }
  return keys;
}

const MenuEntry* menuEntryFor(ChargerSettings& model, Menu menu, const std::string& answer) {
  for (const MenuEntry& entry : menu) {
    if (entry.key == nullptr || answer != entry.key) continue;
    if (entry.taken != MenuTaken::kWhenOffered || isOffered(model, entry)) return &entry;
  }
  return nullptr;
}

namespace {

void writePrompt(ChargerSettings& model, Menu menu) {
  std::ostream& out = *model.io.out;
  out << "Select an option (type " << namedKeys(model, menu);
  for (const MenuEntry& entry : menu) {
    if (entry.taken == MenuTaken::kLeaves) out << " or " << entry.key;
  }
  out << " and press enter): ";
}

}  // namespace

bool runMenu(ChargerSettings& model, Menu menu, bool drawFirst, MenuGuard mayLeave) {
  MessageEcho echo(model.io);
  const std::vector<std::string> before = model.values();
  if (drawFirst) redrawSettings(model);
  for (;;) {
    writeMenuLines(model, menu);
    showHeldMessages(model.io);
    writePrompt(model, menu);
    const MenuEntry* entry = menuEntryFor(model, menu, readAnswerLine(model.io));
    if (entry != nullptr && entry->taken == MenuTaken::kLeaves) {
      const bool changed = model.values() != before;
      if (!changed || mayLeave == nullptr || mayLeave(model)) return changed;
    } else if (entry != nullptr && entry->act != nullptr) {
      entry->act(model);
    } else {
      reportUnknownOption(model.io);
    }
    redrawSettings(model);
  }
}

}  // namespace sunlink
