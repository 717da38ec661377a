#include "app/compare_operation.h"

#include <ostream>
#include <string>
#include <vector>

#include "app/settings_steps.h"
#include "base/statuses.h"
#include "charger/file_values.h"
#include "charger/settings_compare.h"
#include "settings/retrieve.h"
#include "settings/settings_file.h"

namespace sunlink {

namespace {

// The differences in the document, or listed with the closing line that sums them up.
void showDifferences(RunOutput& output, ChargerSettings& model,
                     const std::vector<SettingDifference>& differences, int status,
                     const std::string& path) {
  if (JsonReport* report = output.report()) {
    reportSystemVoltage(*report, model);
    report->setDifferences(differences);
    return;
  }
  printDifferences(differences, output.lines());
  printClosingLine(status, path, output.lines());
  output.lines() << std::flush;
}

}  // namespace

int compareWithFile(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  const std::string path = run.options().text("compare");
  VregTable file;
  const int read = readSettingsFile(file, path, output.lines(), output.err(), &output.in());
  if (read != kExitOk) {
    if (read == kExitReadFailed) output.noteFailure("Reading settings failed: " + path);
    return read;
  }
  fitFileValues(file);  // compared as an upload would write them
  const int retrieved = retrieveForRun(run.output(), model);
  const std::vector<SettingDifference> differences = compareSettings(file, model.settings);
  // A setting that only the charger has and could not be read leaves the comparison whole.
  const int status = comparisonStatus(differences);
  showDifferences(output, model, differences, status, path);
  if (retrieved != kExitOk) reportFailedSettings(model.settings, "", output.err());
  if (retrieved != kExitOk && retrieved != kExitReadFailed) return retrieved;
  if (status == kExitReadFailed) return status;
  return output.answer(status);
}

}  // namespace sunlink
