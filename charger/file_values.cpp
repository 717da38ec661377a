#include "charger/file_values.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "base/shown_text.h"
#include "charger/setting_catalogue.h"
#include "charger/value_text.h"
#include "protocol/registers.h"
#include "settings/system_voltage.h"

namespace sunlink {

namespace {

// Whether restore would write the vreg's value: a value that counts, and a register to write it
// to; a vreg that names a verify register is only compared.
bool written(const Vreg& vreg) {
  if (vreg.value.empty() || (vreg.status != VREG_OK && vreg.status != VREG_LIMIT_FAILED))
    return false;
  const std::uint32_t target = vreg.set != REG_NONE ? vreg.set : vreg.get;
  return target != REG_NONE && target != REG_NO_ACCESS && vreg.verify == REG_NONE;
}

// The value's number in the register's width, when it fits: unsigned, or for a signed setting a
// negative number written wider (FFFFF9AC for -16.20 mV/K). None when it does not fit or is no
// hexadecimal number of at most 8 digits.
std::optional<std::uint32_t> fitted(const std::string& value, const SettingRow& row) {
  if (value.empty() || value.size() > 8) return std::nullopt;
  for (char c : value) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  const std::uint64_t raw = readNumber(value, 16);
  const std::uint64_t span = std::uint64_t{1} << (8 * row.width);
  if (raw < span) return static_cast<std::uint32_t>(raw);
  if (!row.isSigned) return std::nullopt;
  const std::uint64_t textSpan = std::uint64_t{1} << (4 * value.size());
  const std::int64_t number = static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(textSpan);
  const std::int64_t half = static_cast<std::int64_t>(span / 2);
  if (raw < textSpan / 2 || number < -half) return std::nullopt;
  return static_cast<std::uint32_t>(number + static_cast<std::int64_t>(span));
}

// The system voltage the file's settings are for: the one it names, else the one its charge
// voltages belong to, at most the charger's highest (a voltage far too high for any battery is
// judged against the charger's own systems, not taken for a system of its own).
int systemVoltageOf(const VregTable& file, const Capabilities& capabilities) {
  for (const char* label : {"battery_voltage", "battery_voltage_setting"}) {
    const Vreg* vreg = file.lookup(label);
    if (vreg == nullptr || vreg->value.empty()) continue;
    const int volts = vreg->getU8();
    if (volts == 12 || volts == 24 || volts == 36 || volts == 48) return volts;
  }
  int volts = 12;
  for (const char* label : {"absorption_voltage", "float_voltage"}) {
    const Vreg* vreg = file.lookup(label);
    if (vreg == nullptr) continue;
    const std::optional<double> number = settingNumber(label, vreg->value);
    if (number) volts = std::max(volts, systemVoltageForChargeVoltage(*number));
  }
  const int highest = capabilities.maxBatteryVoltage;
  return highest >= 12 && volts > highest ? highest : volts;
}

// "0 to 10, 255": the values of the codes this charger has.
std::string codeList(const std::vector<SettingCode>& codes, const Capabilities& capabilities) {
  std::string text;
  std::optional<std::uint32_t> first, last;
  auto close = [&] {
    if (!first) return;
    text += (text.empty() ? "" : ", ") + std::to_string(*first);
    if (*last != *first) text += (*last == *first + 1 ? ", " : " to ") + std::to_string(*last);
  };
  for (const SettingCode& code : codes) {
    if (code.needs != 0 && !capabilities.has(code.needs)) continue;
    if (first && code.value == *last + 1) {
      last = code.value;
      continue;
    }
    close();
    first = last = code.value;
  }
  close();
  return text;
}

bool isCode(const std::vector<SettingCode>& codes, const Capabilities& capabilities,
            std::uint32_t value) {
  for (const SettingCode& code : codes) {
    if (code.value == value) return code.needs == 0 || capabilities.has(code.needs);
  }
  return false;
}

// Why the charger cannot hold the value (already in the register's width), or nothing.
std::optional<std::string> outsideOfCharger(const Vreg& vreg, const SettingRow& row,
                                            const ChargerAtHand& charger) {
  const std::string shown = "0x" + vreg.value;
  if (row.codes != nullptr) {
    const std::vector<SettingCode> codes = row.codes(charger.capabilities);
    if (isCode(codes, charger.capabilities, valueBytes(vreg.value, row.width))) return std::nullopt;
    return shown + " is not a value this charger holds (" + codeList(codes, charger.capabilities) +
           ")";
  }
  if (row.limits == nullptr) return std::nullopt;
  const std::optional<SettingLimits> limits = row.limits(charger);
  if (!limits) return std::nullopt;
  // Judged in the register's counts, where 17.40 V is exactly 1740.
  const double raw = std::round(*settingNumber(vreg.label, vreg.value) * row.scale);
  if (raw >= std::ceil(limits->low * row.scale - 1e-6) &&
      raw <= std::floor(limits->high * row.scale + 1e-6))
    return std::nullopt;
  const std::string unit = *row.unit != '\0' ? std::string(" ") + row.unit : "";
  return shown + " (" + settingText(vreg.label, vreg.value) +
         ") is outside what this charger holds (" + fixedPoint(limits->low, row.decimals) + " to " +
         fixedPoint(limits->high, row.decimals) + unit + ")";
}

}  // namespace

void fitFileValues(VregTable& file) {
  applyCatalogue(file);
  for (Vreg& vreg : file.vregs()) {
    const SettingRow* row = catalogueRow(vreg.label);
    if (row == nullptr) continue;
    const std::optional<std::uint32_t> number = fitted(vreg.value, *row);
    if (number) vreg.bytesToHex(*number, row->width);
  }
}

std::vector<std::string> valueRefusals(VregTable& file, const Capabilities& capabilities) {
  fitFileValues(file);
  const ChargerAtHand charger{capabilities, systemVoltageOf(file, capabilities)};
  std::vector<std::string> refusals;
  for (const Vreg& vreg : file.vregs()) {
    const SettingRow* row = catalogueRow(vreg.label);
    if (row == nullptr || !written(vreg)) continue;
    const std::string label = shownText(vreg.label);
    if (!fitted(vreg.value, *row)) {
      refusals.push_back(label + ": 0x" + shownText(vreg.value) + " does not fit its " +
                         std::to_string(row->width) + "-byte register");
      continue;
    }
    const std::optional<std::string> why = outsideOfCharger(vreg, *row, charger);
    if (why) refusals.push_back(label + ": " + *why);
  }
  return refusals;
}

}  // namespace sunlink
