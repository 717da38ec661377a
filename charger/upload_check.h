// What a settings file may not write into the charger at hand, checked before an upload writes
// anything: a file is the user's to edit, and restore writes whatever register a vreg names.
#pragma once

#include <string>
#include <vector>

#include "settings/vreg_table.h"

namespace sunlink {

// The settings of file (as readSettingsFile leaves it) that an upload would write but must not,
// judged against charger, the charger's own settings list (the register map identification built
// for it). One line each, labels shown escaped:
//   "foo: not a setting of this charger"
//   "absorption_voltage: written to register 0x0004, but this charger's is 0xEDF7"
//   "bar: names no register to write"
// A vreg is written when restore would write it: status ok, a value, no verify register, not
// read-only. The battery voltage rows, whose registers change with the firmware, are matched by
// label only. Empty when the upload may go ahead.
std::vector<std::string> uploadRefusals(const VregTable& file, const VregTable& charger);

}  // namespace sunlink
