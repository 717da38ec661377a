#include "charger/settings_compare.h"

#include "base/shown_text.h"
#include "base/statuses.h"
#include "charger/setting_catalogue.h"
#include "settings/restore.h"

namespace sunlink {

namespace {

bool readFailed(const Vreg& vreg) { return vregReadFailed(vreg.status); }

// The charger's setting as retrieve left it: read (or a preset), or a read that failed; a setting
// skipped for this charger and never read, or one the charger answered it does not have, is none
// of its settings.
bool chargerHas(const Vreg* vreg) {
  if (vreg == nullptr || vreg->absentFromCharger) return false;
  return readFailed(*vreg) || !vreg->value.empty();
}

}  // namespace

const char* differenceWord(DifferenceKind kind) {
  switch (kind) {
    case DifferenceKind::differs:
      return "differs";
    case DifferenceKind::onlyInFile:
      return "only_in_file";
    case DifferenceKind::onlyInCharger:
      return "only_in_charger";
    case DifferenceKind::notReadFromCharger:
      return "not_read";
  }
  return "";
}

std::vector<SettingDifference> compareSettings(const VregTable& file, const VregTable& charger) {
  std::vector<SettingDifference> differences;
  for (const Vreg& fromFile : file.vregs()) {
    // What an upload of the file would store (or check): nothing else is compared.
    if (!meantForCharger(fromFile)) continue;
    const Vreg* inCharger = charger.lookup(fromFile.label);
    if (!chargerHas(inCharger)) {
      differences.push_back({fromFile.label, DifferenceKind::onlyInFile, fromFile.value, ""});
    } else if (readFailed(*inCharger)) {
      differences.push_back(
          {fromFile.label, DifferenceKind::notReadFromCharger, fromFile.value, ""});
    } else if (inCharger->value != fromFile.value) {
      differences.push_back(
          {fromFile.label, DifferenceKind::differs, fromFile.value, inCharger->value});
    }
  }
  for (const Vreg& inCharger : charger.vregs()) {
    if (!chargerHas(&inCharger) || file.contains(inCharger.label)) continue;
    if (readFailed(inCharger)) {
      differences.push_back({inCharger.label, DifferenceKind::notReadFromCharger, "", ""});
    } else {
      differences.push_back({inCharger.label, DifferenceKind::onlyInCharger, "", inCharger.value});
    }
  }
  return differences;
}

int comparisonStatus(const std::vector<SettingDifference>& differences) {
  bool differs = false;
  for (const SettingDifference& d : differences) {
    // The file's settings only: one the charger alone has is no difference.
    if (d.fileValue.empty()) continue;
    if (d.kind == DifferenceKind::notReadFromCharger) return kExitReadFailed;
    differs = true;
  }
  return differs ? kExitDiffers : kExitOk;
}

void printClosingLine(int status, const std::string& path, std::ostream& out) {
  const std::string file = "\"" + path + "\"";
  if (status == kExitOk) {
    out << "The charger holds every setting of " << file << ".\n";
  } else if (status == kExitDiffers) {
    out << "The charger does not hold every setting of " << file << ".\n";
  } else {
    out << "Not every setting of " << file
        << " could be read from the charger: the comparison is incomplete.\n";
  }
}

void printDifferences(const std::vector<SettingDifference>& differences, std::ostream& out) {
  for (const SettingDifference& d : differences) {
    std::string file = settingText(d.label, d.fileValue);
    std::string charger = settingText(d.label, d.chargerValue);
    // The file's labels are the file's text: shown, never obeyed.
    out << shownText(d.label) << ": ";
    switch (d.kind) {
      case DifferenceKind::differs:
        if (file == charger) {
          file = "0x" + d.fileValue;
          charger = "0x" + d.chargerValue;
        }
        out << "file " << file << ", charger " << charger;
        break;
      case DifferenceKind::onlyInFile:
        out << "only in the file (" << file << ")";
        break;
      case DifferenceKind::onlyInCharger:
        out << "only in the charger (" << charger << ")";
        break;
      case DifferenceKind::notReadFromCharger:
        if (d.fileValue.empty())
          out << "not in the file, charger not read";
        else
          out << "file " << file << ", charger not read";
        break;
    }
    out << '\n';
  }
}

}  // namespace sunlink
