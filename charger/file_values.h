// A settings file's values for the charger at hand: fitted to the width of its registers (for an
// upload and a comparison), and what they may be, checked before an upload writes anything: a value
// is the user's to edit, and restore sends whatever digits a vreg holds.
#pragma once

#include <string>
#include <vector>

#include "device/capabilities.h"
#include "settings/vreg_table.h"

namespace sunlink {

// Gives every setting of file that the catalogue knows its scale and signedness, and its value the
// width of the charger's register where the number fits it (see valueRefusals); the values that do
// not fit are left as they are.
void fitFileValues(VregTable& file);

// Readies the values of file (as readSettingsFile leaves it) for the charger described by
// capabilities, and names those an upload would write but must not. Every setting the catalogue
// knows gets its scale and signedness, and its value the width of the charger's register when the
// number fits it ("5" read as 05 for a byte, 0B68 for two bytes; 000000FF for a byte is FF). A
// value that would be written is refused, one line each, labels shown escaped, when:
//   it does not fit:  "absorption_voltage: 0x000105A0 does not fit its 2-byte register"
//   it is no code of this charger:  "relay_mode: 0x0B is not a value this charger holds (0 to 10,
//   255)"
//   it lies outside what the charger holds, for the system voltage the file's settings are for:
//   "float_voltage: 0x9999 (393.21 V) is outside what this charger holds (9.00 to 17.40 V)"
// Empty when every value may go ahead.
std::vector<std::string> valueRefusals(VregTable& file, const Capabilities& capabilities);

}  // namespace sunlink
