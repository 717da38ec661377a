// The alarm relay screen and the two port-function screens.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/menu_input.h"
#include "charger/menus.h"

namespace sunlink {

namespace {

// The six switching levels, read fresh for every drawing so a level set a moment ago shows.
struct RelayLevels {
  std::string panelSet, panelClear, lowSet, lowClear, highSet, highClear;
};

RelayLevels readLevels(ChargerSettings& model) {
  auto volts = [&](const char* label) { return settingVolts(model, label); };
  return {volts("relay_input_high_voltage_set"),  volts("relay_input_high_voltage_clear"),
          volts("relay_output_low_voltage_set"),  volts("relay_output_low_voltage_clear"),
          volts("relay_output_high_voltage_set"), volts("relay_output_high_voltage_clear")};
}

// The mode screen (key m).
void askRelayMode(ChargerSettings& model) {
  redrawSettings(model);
  std::ostream& out = *model.io.out;
  out << "\n";
  const RelayLevels levels = readLevels(model);
  out << "Relay operation mode\n\n";
  out << "0 - Relay always off\n";
  out << "1 - Panel voltage high (off<" << levels.panelClear << "V, on>" << levels.panelSet
      << "V)\n";
  out << "2 - High temperature (dimming)\n";
  out << "3 - Battery voltage low (on<" << levels.lowSet << "V, off>" << levels.lowClear << "V)\n";
  out << "4 - Equalization active\n";
  out << "5 - Error state\n";
  out << "6 - Defrost option (temp<-20C)\n";
  out << "7 - Battery voltage high (off<" << levels.highClear << "V, on>" << levels.highSet
      << "V)\n";
  out << "8 - Float or storage state\n";
  out << "9 - Day detection (panels irradiated)\n";
  // Following the load output is only possible where there is one.
  const bool loadMode = model.hasLoadOutput();
  if (loadMode) out << "10 - Load output\n";
  out << "\nRelay operation mode (type 0.." << (loadMode ? "10" : "9") << " and press enter) ["
      << static_cast<unsigned>(model.find("relay_mode").getU8()) << "]: ";
  model.setRelayMode(readAnswerLine(model.io));
}

// Keys a to f: one switching level each.
struct LevelKey {
  const char* key;
  const char* question;
  const char* label;
  int (ChargerSettings::*setter)(const std::string&);
};

const LevelKey LEVEL_KEYS[] = {
    {"a", "Panel voltage high set level [", "relay_input_high_voltage_set",
     &ChargerSettings::setRelayInputHighSet},
    {"b", "Panel voltage high clear level [", "relay_input_high_voltage_clear",
     &ChargerSettings::setRelayInputHighClear},
    {"c", "Battery voltage low set level [", "relay_output_low_voltage_set",
     &ChargerSettings::setRelayOutputLowSet},
    {"d", "Battery voltage low clear level [", "relay_output_low_voltage_clear",
     &ChargerSettings::setRelayOutputLowClear},
    {"e", "Battery voltage high set level [", "relay_output_high_voltage_set",
     &ChargerSettings::setRelayOutputHighSet},
    {"f", "Battery voltage high clear level [", "relay_output_high_voltage_clear",
     &ChargerSettings::setRelayOutputHighClear},
};

void askLevel(ChargerSettings& model, const LevelKey& level) {
  *model.io.out << "\n" << level.question << settingVolts(model, level.label) << "]: ";
  (model.*level.setter)(readAnswerLine(model.io));
}

void askMinimumEnabled(ChargerSettings& model) {
  Vreg& minimum = model.find("relay_min_enabled");
  const std::uint16_t current = minimum.getU16();
  *model.io.out << "Relay minimum enabled time [" << current << "]: ";
  // The register is unsigned; a current value above the parser's signed range survives the
  // round trip through its bit pattern when the answer is unreadable.
  const std::int16_t value =
      model.parseSmallInt(readAnswerLine(model.io), static_cast<std::int16_t>(current), 0, 500);
  minimum.setU16(static_cast<std::uint16_t>(value));
}

void writeRelayScreen(ChargerSettings& model) {
  const RelayLevels levels = readLevels(model);
  const unsigned mode = model.find("relay_mode").getU8();
  const unsigned minutes = model.find("relay_min_enabled").getU16();
  std::ostream& out = *model.io.out;
  out << "\nAlarm relay settings\n\n";
  out << "m - Modify relay operation mode\n";
  out << "a - Set panel voltage high set level (" << levels.panelSet << "V)\n";
  out << "b - Set panel voltage high clear level (" << levels.panelClear << "V)\n";
  out << "c - Set battery voltage low set level (" << levels.lowSet << "V)\n";
  out << "d - Set battery voltage low clear level (" << levels.lowClear << "V)\n";
  out << "e - Set battery voltage high set level (" << levels.highSet << "V)\n";
  out << "f - Set battery voltage high clear level (" << levels.highClear << "V)\n";
  out << "g - Modify minimum closed time (" << minutes << " minutes)\n";
  out << "\nx - Return to the previous menu\n";
  showHeldMessages(model.io);
  // The prompt suggests the pair of levels the current mode uses; all six stay accepted.
  out << "Select an option (type m";
  if (mode == 1) out << ",a,b";
  if (mode == 3) out << ",c,d";
  if (mode == 7) out << ",e,f";
  out << ",g or x and press enter): ";
}

}  // namespace

bool runRelayMenu(ChargerSettings& model) {
  MessageEcho echo(model.io);
  const std::vector<std::string> before = model.values();
  redrawSettings(model);
  for (;;) {
    writeRelayScreen(model);
    const std::string key = readAnswerLine(model.io);
    if (key == "x") return model.values() != before;
    bool known = false;
    if (key == "m") {
      known = true;
      askRelayMode(model);
    } else if (key == "g") {
      known = true;
      askMinimumEnabled(model);
    } else {
      for (const LevelKey& level : LEVEL_KEYS) {
        if (key != level.key) continue;
        known = true;
        askLevel(model, level);
      }
    }
    if (!known) reportUnknownOption(model.io);
    redrawSettings(model);
  }
}

bool runTxPortMenu(ChargerSettings& model) {
  const std::vector<std::string> before = model.values();
  const unsigned current = model.find("port_tx_function").getU8();
  const bool timer = model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
  const bool virtualLoad = model.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT);
  const bool virtualRelay = model.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY);
  redrawSettings(model);
  std::ostream& out = *model.io.out;
  out << "\nSunLink TX Port function\n\n";
  out << "0 - Normal SunLink communication (default)\n";
  out << "1 - Pulse every 0.01kWh\n";
  if (timer) {
    out << "2 - Light dimming control (pwm normal)\n";
    out << "3 - Light dimming control (pwm inverted)\n";
  }
  if (virtualLoad) out << "4 - Virtual load output\n";
  if (virtualRelay) out << "5 - Virtual relay\n";
  out << "\n";
  out << "TX Port function (type 0,1" << (timer ? ",2,3" : "") << (virtualLoad ? ",4" : "")
      << (virtualRelay ? ",5" : "") << " and press enter) [" << current << "]: ";
  model.setTxPortFunction(readAnswerLine(model.io));
  return model.values() != before;
}

bool runRxPortMenu(ChargerSettings& model) {
  const std::vector<std::string> before = model.values();
  const unsigned current = model.find("port_rx_function").getU8();
  const bool load = model.has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT);
  redrawSettings(model);
  std::ostream& out = *model.io.out;
  out << "\nSunLink RX Port function\n\n";
  out << "0 - Remote on/off\n";
  if (load) {
    out << "1 - Load output configuration (default)\n";
    out << "2 - Load output on/off\n";
  }
  out << "\n";
  out << "RX Port function (type 0" << (load ? ",1,2" : "") << " and press enter) [" << current
      << "]: ";
  model.setRxPortFunction(readAnswerLine(model.io));
  return model.values() != before;
}

}  // namespace sunlink
