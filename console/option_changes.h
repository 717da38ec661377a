// The settings the command line changes, one option each: the setter its text goes to, and how a
// refusal is shown (the setter's reason with its line ends, then the option's own failure line).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "charger/setters.h"

namespace sunlink {

struct OptionChange {
  const char* option;  // as on the command line, without the dashes
  // The option's setter, called with the option's text (--table takes none).
  std::function<SetResult(SettingSetters&, const std::string&)> apply;
  const char* failure;  // "Unable to set absorption voltage"
  // The line ends after the setter's own refusal: an empty line, but for the two settings whose
  // refusal has always ended with its own line.
  int refusalLineEnds;
};

// In the order they are applied, which is not the order of the option table: the factory table
// first, so that any voltage given with it turns the battery type back into a user-defined one.
const std::vector<OptionChange>& optionChanges();

// Hands text to the option's setter. A refusal is shown on err: the setter's reason, then the
// option's failure line. True when the value was taken.
bool applyOptionChange(const OptionChange& change, SettingSetters& setters, const std::string& text,
                       std::ostream& err);

}  // namespace sunlink
