#include "app/download_operation.h"

#include <string>

#include "app/settings_steps.h"
#include "app/version.h"
#include "base/statuses.h"
#include "charger/upload_check.h"
#include "settings/retrieve.h"
#include "settings/settings_file.h"

namespace sunlink {

int downloadSettings(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  const int retrieved = retrieveForRun(run.output(), model);
  const std::string path = run.options().text("download");
  VregTable backup = model.settings;
  backup.identity = chargerIdentity(model, run.serialNumber(), programVersion);
  int status = path == "-"
                   ? writeSettingsDocument(backup, output.document(), output.lines(), output.err())
                   : writeSettingsFile(backup, path, output.lines(), output.err());
  if (JsonReport* report = output.report()) reportSettings(*report, model);
  if (status == kExitOk && retrieved != kExitOk) {
    reportFailedSettings(model.settings, path, output.err());
    status = retrieved;
  }
  return status;
}

}  // namespace sunlink
