// The load output menu and its operation mode screen. The street-light timer program behind its
// key p is lighting_menu.cpp.

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/factory_levels.h"
#include "charger/load_control.h"
#include "charger/parsers.h"
#include "charger/setters.h"
#include "charger/value_text.h"
#include "console/console_session.h"
#include "console/menu_table.h"
#include "console/menus.h"

namespace sunlink {

namespace {

bool hasSwitchLevels(ConsoleSession& s) {
  return s.model.has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
                     SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
}

std::string systemVolts(ConsoleSession& s, double twelveVoltLevel) {
  return fixedPoint(s.model.systemVoltage() * twelveVoltLevel / 12, 2);
}

constexpr auto userSwitch = chargerHas<SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH>;
constexpr auto selector = chargerHas<SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE>;
constexpr auto solarTimer = chargerHas<SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER>;

std::string lowLevel(ConsoleSession& s) { return s.volts("load_switch_low_level"); }
std::string highLevel(ConsoleSession& s) { return s.volts("load_switch_high_level"); }
std::string selectorTimer(ConsoleSession& s) {
  std::ostringstream text;
  printHoursMinutes(text, s.model.find("automatic_energy_selector_timer").getU16());
  return text.str();
}

// The load operation modes: the list on the mode screen and the values its prompt names.
const MenuEntry LOAD_MODES[] = {
    {"0", "Load always off"},
    {"1", "Cellcare algorithm (default)"},
    {"2",
     [](ConsoleSession& s) {
       return "Conventional algorithm 1 (off<" + systemVolts(s, CONVENTIONAL_ALGORITHM_1.off) +
              "V, on>" + systemVolts(s, CONVENTIONAL_ALGORITHM_1.on) + "V)";
     }},
    {"3",
     [](ConsoleSession& s) {
       return "Conventional algorithm 2 (off<" + systemVolts(s, CONVENTIONAL_ALGORITHM_2.off) +
              "V, on>" + systemVolts(s, CONVENTIONAL_ALGORITHM_2.on) + "V)";
     }},
    {"4", "Load always on"},
    {"5",
     [](ConsoleSession& s) {
       return "User defined algorithm 1 (off<" + lowLevel(s) + "V, on>" + highLevel(s) + "V)";
     },
     userSwitch},
    {"6",
     [](ConsoleSession& s) {
       return "User defined algorithm 2 (off<" + lowLevel(s) + "V<on<" + highLevel(s) + "V<off)";
     },
     userSwitch},
    {"7",
     [](ConsoleSession& s) {
       return "Automatic energy selector (off<" + lowLevel(s) + "V, on>" + highLevel(s) +
              "V, time=" + selectorTimer(s) + ")";
     },
     selector},
};

// The operation mode screen (key m of the load menu).
void askLoadMode(ConsoleSession& s) {
  s.redraw();
  std::ostream& out = s.out();
  out << "\nLoad operation mode\n\n";
  writeMenuLines(s, LOAD_MODES);
  out << "\n";
  // A jumper on the port overrules the mode unless the port is given another job.
  if (!s.model.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT) &&
      (!s.model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION) ||
       s.model.find("port_rx_function").getU8() == 1)) {
    out << "Note: The load operation mode can be overruled by placing a jumper on the\n";
    out << "      sunlink connector.\n";
  }
  out << "Load operation mode (type " << namedKeys(s, LOAD_MODES) << " and press enter) ["
      << LoadControl(s.model.find("load_control").getU8()).mode() << "]: ";
  s.show(s.setters.setLoadMode(s.answerLine()));
}

void askSelectorTimer(ConsoleSession& s) {
  Vreg& timer = s.model.find("automatic_energy_selector_timer");
  std::ostream& out = s.out();
  out << "\nAutomatic energy selector timer [";
  printHoursMinutes(out, timer.getU16());
  out << "]: ";
  // The charger's selector runs for at most an hour.
  const std::uint16_t minutes = s.take(parseDuration(s.answerLine(), 1));
  if (minutes != 0) timer.setU16(minutes);
}

int loadMode(ConsoleSession& s) { return LoadControl(s.model.find("load_control").getU8()).mode(); }
bool lightingOn(ConsoleSession& s) {
  return LoadControl(s.model.find("load_control").getU8()).lightingController();
}
// The switch levels are offered while the mode that uses them is on.
bool levelsShown(ConsoleSession& s) {
  const int mode = loadMode(s);
  return hasSwitchLevels(s) && mode >= 5 && mode <= 7;
}
bool timerShown(ConsoleSession& s) { return selector(s) && loadMode(s) == 7; }

const MenuEntry LOAD_MENU[] = {
    {nullptr, ""},
    {nullptr,
     [](ConsoleSession& s) {
       return std::string("Load output") + (solarTimer(s) ? " / lighting controller (timer)" : "") +
              " settings";
     }},
    {nullptr, ""},
    {"m", "Modify load operation mode", nullptr, askLoadMode},
    {"h",
     [](ConsoleSession& s) {
       return "Modify load switch high voltage level (" + highLevel(s) + "V)";
     },
     levelsShown,
     [](ConsoleSession& s) {
       s.out() << "\nLoad switch high voltage level [" << highLevel(s) << "]: ";
       s.show(s.setters.setLoadSwitchHigh(s.answerLine()));
     },
     nullptr, MenuTaken::kWhenOffered, "load_switch_high_level"},
    {"l",
     [](ConsoleSession& s) {
       return "Modify load switch low voltage level (" + lowLevel(s) + "V)";
     },
     levelsShown,
     [](ConsoleSession& s) {
       s.out() << "\nLoad switch low voltage level [" << lowLevel(s) << "]: ";
       s.show(s.setters.setLoadSwitchLow(s.answerLine()));
     },
     nullptr, MenuTaken::kWhenOffered, "load_switch_low_level"},
    {"a",
     [](ConsoleSession& s) {
       return "Modify Automatic energy selector timer (" + selectorTimer(s) + ")";
     },
     timerShown, askSelectorTimer, nullptr, MenuTaken::kWhenOffered,
     "automatic_energy_selector_timer"},
    {"s",
     [](ConsoleSession& s) {
       return std::string(lightingOn(s) ? "Disable" : "Enable") + " lighting controller (timer)";
     },
     solarTimer,
     [](ConsoleSession& s) { s.show(s.setters.setLightingController(lightingOn(s) ? "0" : "1")); }},
    {"p", "Modify lighting controller timer program",
     [](ConsoleSession& s) { return solarTimer(s) && lightingOn(s); },
     [](ConsoleSession& s) { runLightingMenu(s); }},
    {nullptr, ""},
    {"x", "Return to the previous menu", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
};

}  // namespace

bool runLoadMenu(ConsoleSession& s) { return runMenu(s, LOAD_MENU, true); }

}  // namespace sunlink
