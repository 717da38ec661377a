// What the number of each setting means: its unit, the register's scale and how the printout
// shows it. Used wherever a setting's value is given to a script or compared for a user, so that
// both read it as the printout does (14.40 V, 15.0 A), whichever charger or file it comes from.
#pragma once

#include <optional>
#include <string>

namespace sunlink {

struct SettingUnit {
  const char* unit;  // "V", "A", "mV/K", "h", "min", "s"; "" for a code (a mode, a bit field)
  double scale;      // the register counts value × scale (0.01 V: 100)
  int decimals;      // as the printout shows the number
  bool isSigned;     // a 16-bit value read as signed
  bool packed;       // a code made of bit fields, shown as its hex digits
};

// The unit of a setting of the register map; a setting the program does not know (a label from a
// hand-written file) is a code of scale 1.
SettingUnit settingUnit(const std::string& label);
// Whether the label is one of the register map's settings.
bool knownSetting(const std::string& label);

// The number a value text stands for in the setting's unit: 2 hex digits an unsigned byte, 8 digits
// an unsigned 32-bit value, any other length a 16-bit value (signed where the setting is), divided
// by the scale. None for an empty text.
std::optional<double> settingNumber(const std::string& label, const std::string& value);

// The value as a user reads it: "14.20 V", "15.0 A", "255" for a code, "0x00010078" for a packed
// code or a setting the program does not know, "" for an empty text.
std::string settingText(const std::string& label, const std::string& value);

}  // namespace sunlink
