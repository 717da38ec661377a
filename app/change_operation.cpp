#include "app/change_operation.h"

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/menu_operation.h"
#include "app/settings_steps.h"
#include "base/statuses.h"

namespace sunlink {

namespace {

// A model setter, called with the option's text (--table takes none).
using Change = std::function<int(ChargerSettings&, const std::string&)>;

struct CommandLineChange {
  const char* option;
  Change apply;
  const char* failure;
};

// Applied in this order, which is not the order of the option table: the factory table first, so
// that any voltage given with it turns the battery type back into a user-defined one.
const CommandLineChange commandLineChanges[] = {
    {"table", [](ChargerSettings& m, const std::string&) { return m.useFactoryTable(); },
     "Unable to use factory defined table"},
    {"sys", &ChargerSettings::setBatteryVoltage, "Unable to set battery voltage"},
    {"abs", &ChargerSettings::setAbsorptionVoltage, "Unable to set absorption voltage"},
    {"float", &ChargerSettings::setFloatVoltage, "Unable to set float voltage"},
    {"cellguard", &ChargerSettings::setCellGuardMode, "Unable to set cellguard mode"},
    {"eqv", &ChargerSettings::setEqualisationVoltage, "Unable to set equalisation voltage"},
    {"autoeq", &ChargerSettings::setAutoEqualise, "Unable to set auto equalise mode"},
    {"tempcomp", &ChargerSettings::setTemperatureCompensation,
     "Unable to set temperature compensation"},
    {"abslim", &ChargerSettings::setAbsorptionTimeLimit, "Unable to set absorption time limit"},
    {"current", &ChargerSettings::setCurrentLimit, "Unable to set charger current limit"},
};

// What the options did: whether any was accepted, and the ones that were not, in table order.
struct CommandLineOutcome {
  bool changed = false;
  std::vector<const CommandLineChange*> refused;
};

// The options whose values the float-above-absorption rule judges.
bool setsChargePair(const CommandLineChange& change) {
  return std::string(change.option) == "abs" || std::string(change.option) == "float";
}

// Applies one option; a refusal is reported with the option's message.
bool applyChange(const CommandLineChange& change, const CommandLine& options,
                 ChargerSettings& model, std::ostream& err) {
  if (change.apply(model, options.text(change.option)) == 0) return true;
  err << change.failure << std::endl;
  return false;
}

void putBackValues(VregTable& settings, const std::vector<std::string>& values) {
  std::size_t i = 0;
  for (Vreg& vreg : settings.vregs()) vreg.value = values[i++];
}

// The float voltage may not exceed the absorption voltage, judged on the values as they will be
// stored. When the --abs or --float given (and accepted) break the rule, each of them is refused:
// the values go back to what they were before the first of them, and the accepted changes after
// it are made again on those.
void refuseChargePairAboveAbsorption(const CommandLine& options, ChargerSettings& model,
                                     std::ostream& err, const std::vector<std::string>& beforePair,
                                     std::vector<const CommandLineChange*>& accepted,
                                     CommandLineOutcome& outcome) {
  const bool pairGiven = std::any_of(accepted.begin(), accepted.end(),
                                     [](const CommandLineChange* c) { return setsChargePair(*c); });
  if (!pairGiven || !model.floatAboveAbsorption()) return;
  model.reportFloatAboveAbsorption();
  putBackValues(model.settings, beforePair);
  const CommandLineChange* const pairStart =
      *std::find_if(accepted.begin(), accepted.end(),
                    [](const CommandLineChange* c) { return setsChargePair(*c); });
  std::vector<const CommandLineChange*> kept;
  for (const CommandLineChange* change : accepted) {
    if (setsChargePair(*change)) {
      err << change->failure << std::endl;
      outcome.refused.push_back(change);
    } else if (change < pairStart || applyChange(*change, options, model, err)) {
      kept.push_back(change);
    } else {
      outcome.refused.push_back(change);
    }
  }
  accepted = kept;
}

CommandLineOutcome applyCommandLineChanges(const CommandLine& options, ChargerSettings& model,
                                           std::ostream& err) {
  CommandLineOutcome outcome;
  std::vector<const CommandLineChange*> accepted;
  std::vector<std::string> beforePair;
  for (const CommandLineChange& change : commandLineChanges) {
    if (!options.has(change.option)) continue;
    if (setsChargePair(change) && beforePair.empty()) beforePair = model.values();
    if (applyChange(change, options, model, err))
      accepted.push_back(&change);
    else
      outcome.refused.push_back(&change);
  }
  refuseChargePairAboveAbsorption(options, model, err, beforePair, accepted, outcome);
  std::sort(outcome.refused.begin(), outcome.refused.end());
  outcome.changed = !accepted.empty();
  return outcome;
}

// After a store of the accepted options: the ones refused, named once more below the printout.
void reportRefusedOptions(RunOutput& output, const CommandLineOutcome& outcome) {
  std::string names;
  for (const CommandLineChange* change : outcome.refused)
    names += (names.empty() ? "--" : ", --") + std::string(change->option);
  output.err() << "Options not applied: " << names << std::endl;
  output.noteFailure("options not applied: " + names);
}

// No menu under --json: its dialogue would go where the document's reader cannot answer.
int refuseMenuForJson(JsonReport& report, ChargerSettings& model) {
  reportSettings(report, model);
  report.setError("no setting was changed");
  return kExitFailure;
}

}  // namespace

int changeSettings(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  retrieveForRun(model);
  const CommandLineOutcome outcome = applyCommandLineChanges(run.options(), model, output.err());
  if (!outcome.changed) {
    if (JsonReport* report = output.report()) return refuseMenuForJson(*report, model);
    return runMenuAndStore(run, model);
  }
  // Changes that in the end equal what was read store nothing: no charger off/on cycle for them.
  int status = storeAndShow(run, model);
  if (!outcome.refused.empty()) {
    reportRefusedOptions(output, outcome);
    if (status == kExitOk) status = kExitFailure;
  }
  return status;
}

}  // namespace sunlink
