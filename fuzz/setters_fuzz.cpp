// Arbitrary user text into every number parser and setter of a charger that has every feature.
// A setter may refuse the text, never crash, and whatever it stores keeps the width the value had.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "base/log.h"
#include "charger/charger_settings.h"

using sunlink::ChargerSettings;

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

using Setter = int (ChargerSettings::*)(const std::string&);
const Setter kSetters[] = {
    &ChargerSettings::setBatteryVoltage,
    &ChargerSettings::setAbsorptionVoltage,
    &ChargerSettings::setFloatVoltage,
    &ChargerSettings::setEqualisationVoltage,
    &ChargerSettings::setTemperatureCompensation,
    &ChargerSettings::setCurrentLimit,
    &ChargerSettings::setAbsorptionTimeLimit,
    &ChargerSettings::setCellGuardMode,
    &ChargerSettings::setAutoEqualise,
    &ChargerSettings::setLoadSwitchHigh,
    &ChargerSettings::setLoadSwitchLow,
    &ChargerSettings::setLoadMode,
    &ChargerSettings::setLightingController,
    &ChargerSettings::setTxPortFunction,
    &ChargerSettings::setRxPortFunction,
    &ChargerSettings::setRelayMode,
    &ChargerSettings::setRelayOutputLowSet,
    &ChargerSettings::setRelayOutputLowClear,
    &ChargerSettings::setRelayOutputHighSet,
    &ChargerSettings::setRelayOutputHighClear,
    &ChargerSettings::setRelayInputHighSet,
    &ChargerSettings::setRelayInputHighClear,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  sunlink::logVerbosity = 0;
  ChargerSettings model(everything(), nullptr);
  std::ostringstream out, err;
  model.io.out = &out;
  model.io.err = &err;
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
  (model.*setter)(text);
  model.parseDuration(text, 24);
  model.parsePercent(text, 100);
  model.parseSmallInt(text, 0, -1440, 1440);
  model.parseTemperatureCompensation(text);

  for (std::size_t i = 0; i < widths.size(); ++i)
    if (model.settings.vregs()[i].value.size() != widths[i]) std::abort();
  model.printSettings();
  return 0;
}
