#include "console/option_changes.h"

#include "charger/charger_settings.h"
#include "console/console_session.h"

namespace sunlink {

const std::vector<OptionChange>& optionChanges() {
  using S = SettingSetters;
  static const std::vector<OptionChange> changes = {
      {"table",
       [](S& setters, const std::string&) {
         setters.model().useFactoryTable();
         return SetResult::accepted();
       },
       "Unable to use factory defined table", 2},
      {"sys", &S::setBatteryVoltage, "Unable to set battery voltage", 2},
      {"abs", &S::setAbsorptionVoltage, "Unable to set absorption voltage", 2},
      {"float", &S::setFloatVoltage, "Unable to set float voltage", 2},
      {"cellguard", &S::setCellGuardMode, "Unable to set cellguard mode", 1},
      {"eqv", &S::setEqualisationVoltage, "Unable to set equalisation voltage", 2},
      {"autoeq", &S::setAutoEqualise, "Unable to set auto equalise mode", 1},
      {"tempcomp", &S::setTemperatureCompensation, "Unable to set temperature compensation", 2},
      {"abslim", &S::setAbsorptionTimeLimit, "Unable to set absorption time limit", 2},
      {"current", &S::setCurrentLimit, "Unable to set charger current limit", 2},
  };
  return changes;
}

bool applyOptionChange(const OptionChange& change, SettingSetters& setters, const std::string& text,
                       std::ostream& err) {
  const SetResult result = change.apply(setters, text);
  if (result.isAccepted()) return true;
  writeRefusal(err, result, change.refusalLineEnds);
  err << change.failure << std::endl;
  return false;
}

}  // namespace sunlink
