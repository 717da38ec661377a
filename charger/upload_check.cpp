#include "charger/upload_check.h"

#include "base/shown_text.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// The register restore writes a vreg's value to (REG_NONE: none).
std::uint32_t writeRegister(const Vreg& vreg) { return vreg.set != REG_NONE ? vreg.set : vreg.get; }

bool written(const Vreg& vreg) {
  return vreg.status == VREG_OK && !vreg.value.empty() && vreg.set != REG_NO_ACCESS &&
         vreg.verify == REG_NONE;
}

// Their registers depend on the firmware (a file from firmware 1.12 names others than one from
// 1.10); restore takes them as the file has them.
bool firmwareDependent(const std::string& label) {
  return label == "battery_voltage" || label == "battery_voltage_setting";
}

}  // namespace

std::vector<std::string> uploadRefusals(const VregTable& file, const VregTable& charger) {
  std::vector<std::string> refusals;
  for (const Vreg& vreg : file.vregs()) {
    if (!written(vreg)) continue;
    const std::string label = shownText(vreg.label);
    const std::uint32_t target = writeRegister(vreg);
    // A value without a register only carries a value for other vregs' conditions.
    if (target == REG_NONE) {
      if (vreg.group.empty()) refusals.push_back(label + ": names no register to write");
      continue;
    }
    const Vreg* own = charger.lookup(vreg.label);
    if (own == nullptr) {
      refusals.push_back(label + ": not a setting of this charger");
    } else if (!firmwareDependent(vreg.label) && target != writeRegister(*own)) {
      refusals.push_back(label + ": written to register " + registerIdText(target) +
                         ", but this charger's is " + registerIdText(writeRegister(*own)));
    }
  }
  return refusals;
}

}  // namespace sunlink
