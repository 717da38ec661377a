#include "charger/upload_check.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/shown_text.h"
#include "charger/charger_settings.h"
#include "protocol/registers.h"
#include "protocol/version_word.h"
#include "settings/system_voltage.h"

namespace sunlink {

namespace {

// The register restore writes a vreg's value to (REG_NONE: none).
std::uint32_t writeRegister(const Vreg& vreg) { return vreg.set != REG_NONE ? vreg.set : vreg.get; }

bool written(const Vreg& vreg) {
  return vreg.status == VREG_OK && !vreg.value.empty() && vreg.set != REG_NO_ACCESS &&
         vreg.verify == REG_NONE;
}

// Their registers depend on the firmware (a file from firmware 1.12 names others than one from
// 1.10); they are written through the registers this charger's firmware has for them.
bool firmwareDependent(const std::string& label) {
  return label == "battery_voltage" || label == "battery_voltage_setting";
}

bool writable(const Vreg& own) {
  const std::uint32_t target = writeRegister(own);
  return target != REG_NONE && target != REG_NO_ACCESS;
}

std::string productText(std::uint16_t productId, const std::string& name) {
  char id[16];
  std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(productId));
  return name.empty() ? id : std::string(id) + " (" + shownText(name) + ")";
}

// A value of the file that the charger was read to hold (not a placeholder), read in the units of
// the charger's own setting of that label; none when either is missing.
std::optional<double> fileNumber(const VregTable& file, const VregTable& charger,
                                 const std::string& label) {
  const Vreg* vreg = file.lookup(label);
  const Vreg* own = charger.lookup(label);
  if (vreg == nullptr || own == nullptr || vreg->status != VREG_OK || vreg->value.empty())
    return std::nullopt;
  Vreg scaled = *vreg;
  scaled.scale = own->scale;
  return scaled.getNumber();
}

// The system voltage the file's values give, judged as the charger judges its own: the battery
// voltage, else the voltage the charge voltages belong to. None when the file holds none of them.
std::optional<int> valuesSystemVoltage(const VregTable& file, const VregTable& charger) {
  for (const char* label : {"battery_voltage", "battery_voltage_setting"}) {
    const std::optional<double> volts = fileNumber(file, charger, label);
    if (volts && *volts > 0) return static_cast<int>(*volts);
  }
  std::optional<int> voltage;
  for (const char* label : {"absorption_voltage", "float_voltage"}) {
    const std::optional<double> volts = fileNumber(file, charger, label);
    if (volts) voltage = std::max(voltage.value_or(0), systemVoltageForChargeVoltage(*volts));
  }
  return voltage;
}

void checkSystemVoltage(const VregTable& file, ChargerSettings& model, UploadPlan& plan) {
  const std::optional<int> voltage = file.identity
                                         ? std::optional<int>(file.identity->systemVoltage)
                                         : valuesSystemVoltage(file, model.settings);
  if (!voltage) {
    plan.notes.push_back(
        "The file holds no battery voltage, absorption or float voltage: its system voltage is "
        "not checked.");
    return;
  }
  const int own = model.systemVoltage();
  if (*voltage != own) {
    plan.refusals.push_back("system voltage: the file is for a " + std::to_string(*voltage) +
                            " V system, this charger's is " + std::to_string(own) + " V");
  }
}

void checkProduct(const VregTable& file, const ChargerSettings& model, bool force,
                  UploadPlan& plan) {
  if (!file.identity) {
    plan.notes.push_back(
        "The file does not name the charger it came from (a file of an earlier version): its "
        "product is not checked.");
    return;
  }
  if (file.identity->productId == model.capabilities.productId) return;
  const std::string mismatch =
      "the file comes from product " + productText(file.identity->productId, file.identity->model) +
      ", this charger is " +
      productText(model.capabilities.productId, model.capabilities.productName);
  if (force) {
    plan.notes.push_back("As --force asks, " + mismatch + ": what it does not have is skipped.");
  } else {
    plan.refusals.push_back("product: " + mismatch +
                            "; --force uploads it, skipping what this charger does not have");
  }
}

// A setting the charger does not have: refused, or with force skipped and not written.
void lacking(Vreg& vreg, const std::string& why, bool force, UploadPlan& plan) {
  const std::string label = shownText(vreg.label);
  if (force) {
    plan.skipped.push_back(label + ": skipped, " + why);
    vreg.status = VREG_SKIPPED;
  } else {
    plan.refusals.push_back(label + ": " + why + "; --force skips it");
  }
}

void checkVreg(Vreg& vreg, const VregTable& charger, bool force, UploadPlan& plan) {
  const std::string label = shownText(vreg.label);
  const std::uint32_t target = writeRegister(vreg);
  // A value without a register only carries a value for other vregs' conditions.
  if (target == REG_NONE) {
    if (vreg.group.empty()) plan.refusals.push_back(label + ": names no register to write");
    return;
  }
  const Vreg* own = charger.lookup(vreg.label);
  if (own == nullptr) return lacking(vreg, "not a setting of this charger", force, plan);
  if (own->absentFromCharger)
    return lacking(vreg, "this charger does not have it (it answered \"unknown id\")", force, plan);
  if (firmwareDependent(vreg.label)) {
    if (!writable(*own)) {
      plan.skipped.push_back(label + ": skipped, this charger's firmware cannot write it");
      vreg.status = VREG_SKIPPED;
    } else {
      vreg.get = own->get;
      vreg.set = own->set;
    }
    return;
  }
  if (target != writeRegister(*own)) {
    plan.refusals.push_back(label + ": written to register " + registerIdText(target) +
                            ", but this charger's is " + registerIdText(writeRegister(*own)));
  }
}

}  // namespace

UploadPlan planUpload(VregTable& file, ChargerSettings& model, bool force) {
  UploadPlan plan;
  checkSystemVoltage(file, model, plan);
  checkProduct(file, model, force, plan);
  for (Vreg& vreg : file.vregs()) {
    if (written(vreg)) checkVreg(vreg, model.settings, force, plan);
  }
  return plan;
}

FileIdentity chargerIdentity(ChargerSettings& model, const std::string& serial,
                             const std::string& version) {
  FileIdentity identity;
  identity.productId = model.capabilities.productId;
  identity.model = model.capabilities.productName;
  identity.firmware = versionNumberText(model.capabilities.firmwareVersion);
  identity.systemVoltage = model.systemVoltage();
  identity.serial = serial;
  identity.day = utcDay();
  identity.version = version;
  return identity;
}

}  // namespace sunlink
