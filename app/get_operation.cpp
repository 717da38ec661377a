#include "app/get_operation.h"

#include "app/settings_steps.h"
#include "base/statuses.h"
#include "settings/retrieve.h"

namespace sunlink {

int getSettings(ChgtuneRun& run, ChargerSettings& model) {
  const int retrieved = retrieveForRun(run.output(), model);
  showSettings(run.output(), model);
  if (retrieved != kExitOk) reportFailedSettings(model.settings, "", run.output().err());
  return retrieved;
}

}  // namespace sunlink
