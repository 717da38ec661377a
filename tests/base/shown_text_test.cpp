// Outside text shown on the terminal: what a user reads for the texts a charger or a file can
// carry.
#include "base/shown_text.h"

#include <gtest/gtest.h>

namespace sunlink {
namespace {

TEST(ShownTextTest, ControlsAndInvalidUtf8AreEscapedAndEverythingElsePasses) {
  const struct {
    const char* name;
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain name", "MPPT 100/50 Sim", "MPPT 100/50 Sim"},
      {"empty", "", ""},
      {"terminal title and clear screen", "\x1B]0;title\x07\x1B[2J", "\\x1B]0;title\\x07\\x1B[2J"},
      {"forged line", "MPPT\r\nBattery Type = x", "MPPT\\r\\nBattery Type = x"},
      {"tab, NUL and DEL", std::string("a\tb\0c\x7F", 6), "a\\tb\\x00c\\x7F"},
      {"backslash of a path", "C:\\Users\\site.xml", "C:\\Users\\site.xml"},
      {"two-, three- and four-byte characters", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x8B",
       "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x8B"},
      {"C1 control sequence introducer",
       "a\xC2\x9B"
       "2J",
       "a\\xC2\\x9B2J"},
      {"first character after the C1 controls", "\xC2\xA0", "\xC2\xA0"},
      {"stray continuation byte", "a\x80z", "a\\x80z"},
      {"Latin-1 byte", "caf\xE9", "caf\\xE9"},
      {"overlong slash", "\xC0\xAF", "\\xC0\\xAF"},
      {"overlong three-byte form", "\xE0\x80\xAF", "\\xE0\\x80\\xAF"},
      {"surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"truncated at the end", "ok\xE2\x82", "ok\\xE2\\x82"},
      {"truncated before an escape", "\xE2\x82\x1B", "\\xE2\\x82\\x1B"},
  };
  for (const auto& c : cases) EXPECT_EQ(shownText(c.text), c.shown) << c.name;
}

}  // namespace
}  // namespace sunlink
