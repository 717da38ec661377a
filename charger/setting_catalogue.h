// The catalogue of the charger's settings: one row per setting, the only place that says what a
// setting is. Its label, its registers, the width and signedness of its value, the register's
// scale, the unit and decimals the printout shows, what the charger at hand can hold, which
// chargers have it, and the names of its code values. The register map, the printout, the JSON
// report, the comparison, the setters' ranges and the checks of an upload all read it, so that a
// setting reads the same number whichever of them shows it and whichever table (the charger's or a
// settings file's) holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/capabilities.h"
#include "settings/vreg_table.h"

namespace sunlink {

// What a row needs of the charger to be in its register map.
enum class Needs {
  nothing,
  autoEqualise,
  switchLevels,  // user defined load switch levels, or the automatic energy selector
  energySelector,
  relay,
  cellGuard,
  loadOutput,
  solarTimer,
  streetlight2,  // the solar timer, street-light version 2 or later
  streetlight3,
  txFunction,
  rxFunction,
};

// The charger a range is judged for: its capabilities and the system voltage its settings are
// for (12, 24, 36 or 48).
struct ChargerAtHand {
  const Capabilities& capabilities;
  int systemVoltage;
};

// The lowest and highest number (in the setting's unit) the charger holds.
struct SettingLimits {
  double low;
  double high;
};

// One code value of a setting with its name, as the printout shows it. needs: the capability
// flags of which the charger must have one for the code to mean anything (0: every charger).
struct SettingCode {
  std::uint32_t value;
  std::string name;
  std::uint32_t needs = 0;
};

struct SettingRow {
  const char* label;
  std::uint32_t get;
  std::uint32_t set;  // REG_NONE: restore writes the get register
  int width;          // bytes of the charger's register: 1, 2 or 4
  bool isSigned;      // a 2-byte value read as a signed number
  double scale;       // the register counts value × scale (0.01 V: 100)
  const char* unit;   // "V", "A", "mV/K", "h", "min", "s"; "" for a code
  int decimals;       // as the printout shows the number
  bool packed;        // bit fields, shown as hex digits
  Needs needs;
  // What the charger can hold, in the unit; null: whatever the width holds.
  std::optional<SettingLimits> (*limits)(const ChargerAtHand&);
  // The code values with their names for this charger; null: the setting is a number.
  std::vector<SettingCode> (*codes)(const Capabilities&);
  // A level for the battery, which a change of system voltage rescales (24 V to 12 V halves it).
  bool followsSystemVoltage = false;
};

// Every row, in the order of the register map (which is also the order restore writes them in).
const std::vector<SettingRow>& settingCatalogue();
// The row of a label; null for a label the program does not know (one from a hand-written file).
const SettingRow* catalogueRow(const std::string& label);
// Whether the charger has the row's setting.
bool rowApplies(const SettingRow& row, const Capabilities& capabilities);

// The Vreg the register map pushes for the row on this charger: registers (the battery voltage
// rows by firmware, some with a preset value), scale and signedness.
Vreg catalogueVreg(const SettingRow& row, const Capabilities& capabilities);
// Gives every Vreg of the table whose label the catalogue knows its scale and signedness: a table
// read from a settings file carries neither.
void applyCatalogue(VregTable& table);

// The number a value text stands for in the setting's unit: 2 hex digits an unsigned byte, 8 digits
// an unsigned 32-bit value, any other length a 16-bit value (signed where the setting is), divided
// by the scale. A label the catalogue does not know is an unsigned code of scale 1. None for an
// empty text.
std::optional<double> settingNumber(const std::string& label, const std::string& value);
// The value as a user reads it: "14.20 V", "15.0 A", "255" for a code, "0x00010078" for a packed
// code or a setting the program does not know, "" for an empty text.
std::string settingText(const std::string& label, const std::string& value);
// The name of the code a value text holds, as the printout names it; none when the setting has
// no codes, the text is empty, or no code of this charger has that value.
std::optional<std::string> codeName(const std::string& label, const std::string& value,
                                    const Capabilities& capabilities);

// The limits of a setting for this charger; none when it has none beyond its width.
std::optional<SettingLimits> settingLimits(const std::string& label, const ChargerAtHand& charger);

}  // namespace sunlink
