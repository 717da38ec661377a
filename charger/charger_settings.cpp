// Building the settings model, the system voltage every range and factory value depends on, and the
// rule the charge voltages keep together.

#include "charger/charger_settings.h"

#include <algorithm>

#include "charger/setting_catalogue.h"
#include "charger/value_text.h"
#include "device/capabilities.h"
#include "settings/system_voltage.h"

namespace sunlink {

ChargerSettings::ChargerSettings(const Capabilities& capabilities, QmxSerial* link)
    : capabilities(capabilities), link(link) {
  pushRegisterMap();
}

std::vector<std::string> ChargerSettings::values() const {
  std::vector<std::string> texts;
  texts.reserve(settings.size());
  for (const Vreg& vreg : settings.vregs()) texts.push_back(vreg.value);
  return texts;
}

int ChargerSettings::systemVoltage() {
  const int b = find("battery_voltage").getU8();
  if (b != 0) return b;
  // The charger has not settled its system voltage yet: judge it by the charge voltages, read in
  // the catalogue's scale whichever table holds them (a settings file's carries none).
  auto judged = [this](const char* label) {
    return systemVoltageForChargeVoltage(settingNumber(label, find(label).value).value_or(0));
  };
  return std::max(judged("absorption_voltage"), judged("float_voltage"));
}

namespace {

// The float and absorption voltages as the charger would hold them, when both are known.
struct ChargePair {
  double absorption, floatVoltage;
};

std::optional<ChargePair> chargePair(VregTable& settings) {
  const Vreg* absorption = settings.lookup("absorption_voltage");
  const Vreg* floatVoltage = settings.lookup("float_voltage");
  for (const Vreg* vreg : {absorption, floatVoltage}) {
    if (vreg == nullptr || vreg->value.empty() || vregReadFailed(vreg->status) ||
        vreg->status == VREG_SKIPPED)
      return std::nullopt;
  }
  return ChargePair{absorption->getNumber(), floatVoltage->getNumber()};
}

}  // namespace

std::optional<std::string> ChargerSettings::chargeVoltageConflict() {
  const std::optional<ChargePair> pair = chargePair(settings);
  if (!pair || pair->floatVoltage <= pair->absorption) return std::nullopt;
  return "float voltage " + fixedPoint(pair->floatVoltage, 2) +
         " V is above the absorption voltage " + fixedPoint(pair->absorption, 2) +
         " V: the float voltage may not exceed the absorption voltage";
}

}  // namespace sunlink
