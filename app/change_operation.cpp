#include "app/change_operation.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/menu_operation.h"
#include "app/settings_steps.h"
#include "base/statuses.h"
#include "console/console_session.h"
#include "console/option_changes.h"

namespace sunlink {

namespace {

// What the options did: whether any was accepted, and the ones that were not, in table order.
struct CommandLineOutcome {
  bool changed = false;
  std::vector<const OptionChange*> refused;
};

// The options whose values the float-above-absorption rule judges.
bool setsChargePair(const OptionChange& change) {
  return std::string(change.option) == "abs" || std::string(change.option) == "float";
}

// Applies one option; a refusal is reported with the option's message.
bool applyChange(const OptionChange& change, const CommandLine& options, ChargerSettings& model,
                 std::ostream& err) {
  SettingSetters setters(model);
  return applyOptionChange(change, setters, options.text(change.option), err);
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
                                     std::vector<const OptionChange*>& accepted,
                                     CommandLineOutcome& outcome) {
  const bool pairGiven = std::any_of(accepted.begin(), accepted.end(),
                                     [](const OptionChange* c) { return setsChargePair(*c); });
  const std::optional<std::string> conflict = model.chargeVoltageConflict();
  if (!pairGiven || !conflict) return;
  writeComplaint(err, *conflict);
  putBackValues(model.settings, beforePair);
  const OptionChange* const pairStart = *std::find_if(
      accepted.begin(), accepted.end(), [](const OptionChange* c) { return setsChargePair(*c); });
  std::vector<const OptionChange*> kept;
  for (const OptionChange* change : accepted) {
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

CommandLineOutcome applyOptionChanges(const CommandLine& options, ChargerSettings& model,
                                      std::ostream& err) {
  CommandLineOutcome outcome;
  std::vector<const OptionChange*> accepted;
  std::vector<std::string> beforePair;
  for (const OptionChange& change : optionChanges()) {
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
  for (const OptionChange* change : outcome.refused)
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
  retrieveForRun(output, model);
  const CommandLineOutcome outcome = applyOptionChanges(run.options(), model, output.err());
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
