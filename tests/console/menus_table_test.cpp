// The menu table: what one table of entries shows, names in the prompt and takes.
#include <gtest/gtest.h>

#include "console/menu_table.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

// The text of a line the charger does not offer: making it would read a setting the charger lacks.
std::string neverMade(ConsoleSession&) {
  ADD_FAILURE() << "the text of a line left out was made";
  return "";
}

// Which entry took the answer, by its text.
std::string taken(ConsoleSession& session, Menu menu, const std::string& answer) {
  const MenuEntry* entry = menuEntryFor(session, menu, answer);
  return entry == nullptr ? "none" : entry->text(session);
}

constexpr auto relay = chargerHas<kRelay>;

const MenuEntry TABLE[] = {
    {nullptr, "title"},
    {nullptr, neverMade, relay},
    {"a", neverMade, relay},  // the charger has no relay: a later "a" is the one taken
    {"a", "shown a"},
    {"b", "hidden b, taken", relay, nullptr, nullptr, MenuTaken::kAlways},
    {"c", "shown c, not named", nullptr, nullptr, never},
    {"d",
     [](ConsoleSession& s) {
       return "made d " + std::to_string(s.model.find("battery_type").getU8());
     }},
    {"x", "leave", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
};

TEST(MenuTable, ListingPromptAndKeysComeFromTheSameEntries) {
  MenuHarness h(menuTestCapabilities(kLoad));
  writeMenuLines(h.session, TABLE);
  EXPECT_EQ(h.out.str(), "title\na - shown a\nc - shown c, not named\nd - made d 1\nx - leave\n");
  EXPECT_EQ(namedKeys(h.session, TABLE), "a,d");
  const std::pair<const char*, const char*> answers[] = {
      {"a", "shown a"},  {"b", "hidden b, taken"}, {"c", "shown c, not named"},
      {"d", "made d 1"}, {"x", "leave"},           {"title", "none"},
      {"A", "none"},     {"a ", "none"},           {"", "none"},
  };
  for (const auto& answer : answers) {
    EXPECT_EQ(taken(h.session, TABLE, answer.first), answer.second) << '"' << answer.first << '"';
  }
}

}  // namespace
}  // namespace sunlink
