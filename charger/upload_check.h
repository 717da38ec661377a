// What a settings file may not write into the charger at hand, checked before an upload writes
// anything: a file is the user's to edit, and restore writes whatever register a vreg names.
#pragma once

#include <string>
#include <vector>

#include "settings/file_identity.h"
#include "settings/vreg_table.h"

namespace sunlink {

class ChargerSettings;

// What an upload of a file into this charger will do, decided before anything is written.
struct UploadPlan {
  // Why the file must not be uploaded at all; any: nothing is written.
  std::vector<std::string> refusals;
  // Checks the file gave nothing to make (a file of an earlier version names no charger).
  std::vector<std::string> notes;
  // Settings of the file that are not written, each with the reason.
  std::vector<std::string> skipped;
};

// Judges file against the charger of model, whose settings this run has retrieved:
// - the system voltage of the file (its identity's, else the one its battery-voltage, absorption
//   and float values give) must be the charger's;
// - a file from another product is refused unless force is given;
// - every vreg the upload would write (status ok, a value, no verify register, not read-only) must
//   be a setting of this charger, written to this charger's own register for it, so that no file
//   writes a command register such as the factory reset; a vreg without any register is refused
//   too. With force, a setting this charger does not have is skipped instead of refused. A setting
//   the charger answered "unknown id" for in the retrieve is one it does not have.
// Refusals and skipped settings name the setting (escaped), "absorption_voltage: written to
// register 0x0004, but this charger's is 0xEDF7".
// The battery-voltage rows are pointed at this firmware's registers, or skipped when this firmware
// cannot write them. Every vreg skipped is marked VREG_SKIPPED in file, so no store writes it.
UploadPlan planUpload(VregTable& file, ChargerSettings& model, bool force);

// The identity a download records of model's charger: serial is the serial number its TEXT blocks
// carried (empty when none came), version chgtune's.
FileIdentity chargerIdentity(ChargerSettings& model, const std::string& serial,
                             const std::string& version);

}  // namespace sunlink
