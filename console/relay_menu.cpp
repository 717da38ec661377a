// The alarm relay screen: its operation mode, the switching levels the modes use, and the minimum
// time it stays closed.

#include <cstdint>
#include <ostream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/parsers.h"
#include "charger/setters.h"
#include "console/console_session.h"
#include "console/menu_table.h"
#include "console/menus.h"

namespace sunlink {

namespace {

bool loadOutput(ConsoleSession& s) { return s.model.hasLoadOutput(); }

// The relay operation modes: the list on the mode screen and the highest value its prompt names.
const MenuEntry RELAY_MODES[] = {
    {"0", "Relay always off"},
    {"1",
     [](ConsoleSession& s) {
       return "Panel voltage high (off<" + s.volts("relay_input_high_voltage_clear") + "V, on>" +
              s.volts("relay_input_high_voltage_set") + "V)";
     }},
    {"2", "High temperature (dimming)"},
    {"3",
     [](ConsoleSession& s) {
       return "Battery voltage low (on<" + s.volts("relay_output_low_voltage_set") + "V, off>" +
              s.volts("relay_output_low_voltage_clear") + "V)";
     }},
    {"4", "Equalization active"},
    {"5", "Error state"},
    {"6", "Defrost option (temp<-20C)"},
    {"7",
     [](ConsoleSession& s) {
       return "Battery voltage high (off<" + s.volts("relay_output_high_voltage_clear") + "V, on>" +
              s.volts("relay_output_high_voltage_set") + "V)";
     }},
    {"8", "Float or storage state"},
    {"9", "Day detection (panels irradiated)"},
    // Following the load output is only possible where there is one.
    {"10", "Load output", loadOutput},
};

// The mode screen (key m).
void askRelayMode(ConsoleSession& s) {
  s.redraw();
  std::ostream& out = s.out();
  out << "\nRelay operation mode\n\n";
  writeMenuLines(s, RELAY_MODES);
  const char* highest = "0";
  for (const MenuEntry& mode : RELAY_MODES) {
    if (isOffered(s, mode)) highest = mode.key;
  }
  out << "\nRelay operation mode (type 0.." << highest << " and press enter) ["
      << static_cast<unsigned>(s.model.find("relay_mode").getU8()) << "]: ";
  s.show(s.setters.setRelayMode(s.answerLine()));
}

// Keys a to f: one switching level each.
struct LevelKey {
  const char* line;
  const char* question;
  const char* label;
  SetResult (SettingSetters::*setter)(const std::string&);
};

const LevelKey LEVEL_KEYS[] = {
    {"Set panel voltage high set level (", "Panel voltage high set level [",
     "relay_input_high_voltage_set", &SettingSetters::setRelayInputHighSet},
    {"Set panel voltage high clear level (", "Panel voltage high clear level [",
     "relay_input_high_voltage_clear", &SettingSetters::setRelayInputHighClear},
    {"Set battery voltage low set level (", "Battery voltage low set level [",
     "relay_output_low_voltage_set", &SettingSetters::setRelayOutputLowSet},
    {"Set battery voltage low clear level (", "Battery voltage low clear level [",
     "relay_output_low_voltage_clear", &SettingSetters::setRelayOutputLowClear},
    {"Set battery voltage high set level (", "Battery voltage high set level [",
     "relay_output_high_voltage_set", &SettingSetters::setRelayOutputHighSet},
    {"Set battery voltage high clear level (", "Battery voltage high clear level [",
     "relay_output_high_voltage_clear", &SettingSetters::setRelayOutputHighClear},
};

template <int Level>
std::string levelLine(ConsoleSession& s) {
  const LevelKey& level = LEVEL_KEYS[Level];
  return level.line + s.volts(level.label) + "V)";
}

template <int Level>
void askLevel(ConsoleSession& s) {
  const LevelKey& level = LEVEL_KEYS[Level];
  s.out() << "\n" << level.question << s.volts(level.label) << "]: ";
  s.show((s.setters.*level.setter)(s.answerLine()));
}

// The prompt names the pair of levels the current mode uses; all six stay taken.
template <unsigned Mode>
bool relayModeIs(ConsoleSession& s) {
  return s.model.find("relay_mode").getU8() == Mode;
}

void askMinimumEnabled(ConsoleSession& s) {
  Vreg& minimum = s.model.find("relay_min_enabled");
  const std::uint16_t current = minimum.getU16();
  s.out() << "Relay minimum enabled time [" << current << "]: ";
  // The register is unsigned; a current value above the parser's signed range survives the
  // round trip through its bit pattern when the answer is unreadable.
  const std::int16_t value =
      s.take(parseSmallInt(s.answerLine(), static_cast<std::int16_t>(current), 0, 500));
  minimum.setU16(static_cast<std::uint16_t>(value));
}

const MenuEntry RELAY_MENU[] = {
    {nullptr, ""},
    {nullptr, "Alarm relay settings"},
    {nullptr, ""},
    {"m", "Modify relay operation mode", nullptr, askRelayMode},
    {"a", levelLine<0>, nullptr, askLevel<0>, relayModeIs<1>},
    {"b", levelLine<1>, nullptr, askLevel<1>, relayModeIs<1>},
    {"c", levelLine<2>, nullptr, askLevel<2>, relayModeIs<3>},
    {"d", levelLine<3>, nullptr, askLevel<3>, relayModeIs<3>},
    {"e", levelLine<4>, nullptr, askLevel<4>, relayModeIs<7>},
    {"f", levelLine<5>, nullptr, askLevel<5>, relayModeIs<7>},
    {"g",
     [](ConsoleSession& s) {
       return "Modify minimum closed time (" +
              std::to_string(s.model.find("relay_min_enabled").getU16()) + " minutes)";
     },
     nullptr, askMinimumEnabled, nullptr, MenuTaken::kWhenOffered, "relay_min_enabled"},
    {nullptr, ""},
    {"x", "Return to the previous menu", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
};

}  // namespace

bool runRelayMenu(ConsoleSession& session) { return runMenu(session, RELAY_MENU, true); }

}  // namespace sunlink
