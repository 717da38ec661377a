// Building the settings model, and the system voltage every range and factory value depends on.

#include "charger/charger_settings.h"

#include <algorithm>

#include "charger/setting_catalogue.h"
#include "device/capabilities.h"
#include "platform/console.h"
#include "settings/system_voltage.h"

namespace sunlink {

ChargerSettings::ChargerSettings(QmxSerial& link) : link(&link) {
  io.screen = standardOutputIsTerminal();
  // Ends the program when the device does not answer or is not an MPPT charger in its application
  // firmware, so everything below may rely on a supported charger.
  readCapabilities(capabilities, link);
  pushRegisterMap();
}

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

}  // namespace sunlink
