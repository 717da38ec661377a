// Comparing a charger's settings with a settings file, without writing anything: does the charger
// hold what an upload of the file would store?
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "settings/vreg_table.h"

namespace sunlink {

enum class DifferenceKind {
  differs,             // both hold the setting, with other values
  onlyInFile,          // the charger has no such setting (another model, other firmware)
  onlyInCharger,       // the file does not carry the setting
  notReadFromCharger,  // the charger has the setting, but it could not be read
};

// "differs", "only_in_file", "only_in_charger", "not_read".
const char* differenceWord(DifferenceKind kind);

struct SettingDifference {
  std::string label;
  DifferenceKind kind;
  std::string fileValue;     // value text; empty when the file does not carry it
  std::string chargerValue;  // value text; empty when the charger has none or it was not read
};

// The differences between a settings file's table (as readSettingsFile leaves it) and the table
// retrieve filled from the charger, matched by label: first the file's settings in file order,
// then the charger's that the file lacks, in table order. Only the file's settings that an upload
// would store count (status ok, with a value): a placeholder the download could not read is no
// setting of the file. A charger setting counts when it has a value (read, or preset) or when its
// read failed. Values are equal when their texts are (digits and width).
std::vector<SettingDifference> compareSettings(const VregTable& file, const VregTable& charger);

// The result of the comparison as an exit status: kExitReadFailed when a setting of the file could
// not be read from the charger (the comparison is incomplete), else kExitDiffers when one differs
// or the charger lacks it, else kExitOk. A setting only the charger has is no difference.
int comparisonStatus(const std::vector<SettingDifference>& differences);
// The closing line for that status: the charger holds every setting of the file, does not, or
// could not be read in full.
void printClosingLine(int status, const std::string& path, std::ostream& out);

// One line per difference, values in the printout's units:
//   absorption_voltage: file 14.20 V, charger 14.40 V
//   equalisation_voltage: only in the file (16.20 V)
//   relay_mode: only in the charger (3)
//   maximum_current: file 15.0 A, charger not read
// Two values that read the same in their unit but differ in width show their value texts.
void printDifferences(const std::vector<SettingDifference>& differences, std::ostream& out);

}  // namespace sunlink
