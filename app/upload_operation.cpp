#include "app/upload_operation.h"

#include <ostream>
#include <string>
#include <utility>

#include "app/settings_steps.h"
#include "base/statuses.h"
#include "charger/file_values.h"
#include "charger/upload_check.h"
#include "settings/retrieve.h"
#include "settings/settings_file.h"

namespace sunlink {

namespace {

// Refusals and notes of an upload's checks, on standard error. 0 when the upload may go ahead;
// else 94, and nothing has been written: the charger has not even been switched off.
int refuseHarmfulUpload(RunOutput& output, const UploadPlan& plan) {
  std::ostream& err = output.err();
  for (const std::string& note : plan.notes) err << note << std::endl;
  for (const std::string& skipped : plan.skipped) err << skipped << std::endl;
  if (plan.refusals.empty()) return kExitOk;
  for (const std::string& refusal : plan.refusals) err << refusal << std::endl;
  err << "Upload refused: nothing was written to the charger." << std::endl;
  output.noteFailure("upload refused: " + plan.refusals.front());
  return kExitReadFailed;
}

}  // namespace

int uploadFile(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  VregTable file;
  int status = readSettingsFile(file, run.options().text("upload"), output.lines(), output.err(),
                                &output.in());
  if (status != kExitOk) return status;
  status = model.retrieveSettings(output.lines());
  if (status == kExitNoAnswer || status == kExitNotApplication) return status;
  if (status != kExitOk) reportFailedSettings(model.settings, "", output.err());
  UploadPlan plan = planUpload(file, model, run.options().has("force"));
  // After the plan, which marks what is skipped: only values that would be written are judged.
  for (std::string& refusal : valueRefusals(file, model.capabilities))
    plan.refusals.push_back(std::move(refusal));
  status = refuseHarmfulUpload(output, plan);
  if (status == kExitOk) {
    model.settings = file;  // after the retrieve, whose values the store compares with
    status = storeChanges(run, model);
  }
  if (JsonReport* report = output.report()) reportSettings(*report, model);
  return status;
}

}  // namespace sunlink
