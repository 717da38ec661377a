// The command line's setting options: what a refusal shows on standard error.
#include "console/option_changes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tests/charger/model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;
using test::TestModel;

const OptionChange& change(const std::string& option) {
  for (const OptionChange& change : optionChanges()) {
    if (option == change.option) return change;
  }
  throw std::invalid_argument(option);
}

TEST(OptionChanges, ARefusalShowsTheReasonThenTheOptionsLine) {
  constexpr std::uint32_t kCellGuardAndEqualise =
      SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE | SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE;
  struct Case {
    std::uint32_t flags;
    const char* option;
    const char* text;
    bool accepted;
    const char* err;
  };
  const Case cases[] = {
      {0, "abs", "14.2", true, ""},
      {0, "abs", "x", false, "Unable to interpret value\n\nUnable to set absorption voltage\n"},
      {0, "abs", "144", false,
       "absorption voltage must be between 9.00 and 17.40 V, not 144 V\n\n"
       "Unable to set absorption voltage\n"},
      {0, "sys", "6", false, "Unable to interpret value\n\nUnable to set battery voltage\n"},
      // These two have always ended their refusal with a single line end.
      {kCellGuardAndEqualise, "cellguard", "on", false,
       "Unable to interpret value\nUnable to set cellguard mode\n"},
      {kCellGuardAndEqualise, "autoeq", "300", false,
       "Unable to interpret value\nUnable to set auto equalise mode\n"},
      // A feature the charger lacks: only the option's line.
      {0, "eqv", "14", false, "Unable to set equalisation voltage\n"},
      {0, "table", "", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.text);
    TestModel t(makeCapabilities(c.flags));
    EXPECT_EQ(applyOptionChange(change(c.option), t.setters, c.text, t.err), c.accepted);
    EXPECT_EQ(t.err.str(), c.err);
  }
}

}  // namespace
}  // namespace sunlink
