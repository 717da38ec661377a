#include "app/settings_steps.h"

#include "base/errors.h"
#include "base/statuses.h"
#include "console/printout.h"

namespace sunlink {

int retrieveForRun(RunOutput& output, ChargerSettings& model) {
  const int status = model.retrieveSettings(output.lines());
  if (status == kExitNoAnswer) throw run_ended() << tag_exit_code(status);
  return status;
}

int storeChanges(ChgtuneRun& run, ChargerSettings& model) {
  const bool dryRun = run.options().has("dry-run");
  const int status = model.storeSettings(run.output().lines(), run.output().err(), dryRun);
  if (JsonReport* report = run.output().report()) report->setWrites(model.storeWrites(), dryRun);
  return status;
}

int storeAndShow(ChgtuneRun& run, ChargerSettings& model) {
  const int status = storeChanges(run, model);
  showSettings(run.output(), model);
  return status;
}

void showSettings(RunOutput& output, ChargerSettings& model) {
  if (JsonReport* report = output.report())
    reportSettings(*report, model);
  else
    printSettings(model, output.lines());
}

void reportSettings(JsonReport& report, ChargerSettings& model) {
  report.setCharger(model.capabilities);  // a store may have switched the charger since
  report.setSettings(model.settings, model.capabilities);
  reportSystemVoltage(report, model);
}

void reportSystemVoltage(JsonReport& report, ChargerSettings& model) {
  // A list read from a file carries whatever labels it has; without these there is no voltage.
  const VregTable& settings = model.settings;
  if (settings.contains("battery_voltage") && settings.contains("absorption_voltage") &&
      settings.contains("float_voltage"))
    report.setSystemVoltage(model.systemVoltage());
}

}  // namespace sunlink
