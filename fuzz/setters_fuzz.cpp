// Arbitrary user text into every number parser and setter of a charger that has every feature.
// A setter may refuse the text, never crash, and whatever it stores keeps the width the value had.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "base/log.h"
#include "charger/charger_settings.h"
#include "charger/parsers.h"
#include "charger/setters.h"
#include "console/printout.h"

using sunlink::ChargerSettings;
using sunlink::SettingSetters;

namespace {

sunlink::Capabilities everything() {
  sunlink::Capabilities caps;
  caps.productId = 0xA07A;
  caps.name = "fuzz";
  caps.firmwareVersion = 0x117;
  caps.flags = (1u << sunlink::CAPABILITY_FLAG_COUNT) - 1;
  caps.historyVersion = 6;
  caps.streetlightVersion = 3;
  caps.minBatteryVoltage = 12;
  caps.maxBatteryVoltage = 48;
  caps.maxCurrent = 50.0;
  caps.maxPvVoltage = 150.0;
  return caps;
}

using Setter = sunlink::SetResult (SettingSetters::*)(const std::string&);
const Setter kSetters[] = {
    &SettingSetters::setBatteryVoltage,
    &SettingSetters::setAbsorptionVoltage,
    &SettingSetters::setFloatVoltage,
    &SettingSetters::setEqualisationVoltage,
    &SettingSetters::setTemperatureCompensation,
    &SettingSetters::setCurrentLimit,
    &SettingSetters::setAbsorptionTimeLimit,
    &SettingSetters::setCellGuardMode,
    &SettingSetters::setAutoEqualise,
    &SettingSetters::setLoadSwitchHigh,
    &SettingSetters::setLoadSwitchLow,
    &SettingSetters::setLoadMode,
    &SettingSetters::setLightingController,
    &SettingSetters::setTxPortFunction,
    &SettingSetters::setRxPortFunction,
    &SettingSetters::setRelayMode,
    &SettingSetters::setRelayOutputLowSet,
    &SettingSetters::setRelayOutputLowClear,
    &SettingSetters::setRelayOutputHighSet,
    &SettingSetters::setRelayOutputHighClear,
    &SettingSetters::setRelayInputHighSet,
    &SettingSetters::setRelayInputHighClear,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  sunlink::logVerbosity = 0;
  ChargerSettings model(everything(), nullptr);
  SettingSetters setters(model);
  std::ostringstream out;
  // Every setting starts with a value of its own width, as after a retrieve.
  static const std::set<std::string> bytes = {"battery_voltage",  "battery_voltage_setting",
                                              "cellguard_mode",   "auto_equalise",
                                              "battery_type",     "load_control",
                                              "dim_speed",        "port_tx_function",
                                              "port_rx_function", "relay_mode"};
  for (sunlink::Vreg& v : model.settings.vregs()) {
    v.value = bytes.count(v.label)                  ? "00"
              : v.label.find("lighting_event") == 0 ? "00000000"
                                                    : "0000";
  }
  model.find("battery_voltage").value = "0C";
  model.find("battery_voltage_setting").value = "0C";
  model.find("absorption_voltage").value = "05A0";
  model.find("float_voltage").value = "0564";
  std::vector<std::size_t> widths;
  for (const sunlink::Vreg& v : model.settings.vregs()) widths.push_back(v.value.size());

  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Setter setter = kSetters[data[0] % (sizeof kSetters / sizeof kSetters[0])];
  (setters.*setter)(text);
  sunlink::parseDuration(text, 24);
  sunlink::parsePercent(text, 100);
  sunlink::parseSmallInt(text, 0, -1440, 1440);
  setters.parseTemperatureCompensation(text);

  for (std::size_t i = 0; i < widths.size(); ++i)
    if (model.settings.vregs()[i].value.size() != widths[i]) std::abort();
  sunlink::printSettings(model, out);
  return 0;
}
