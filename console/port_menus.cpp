// The two port-function screens: what the charger's TX and RX pins do.

#include <ostream>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/setters.h"
#include "console/console_session.h"
#include "console/menu_table.h"
#include "console/menus.h"

namespace sunlink {

namespace {

// The functions the TX pin can take.
const MenuEntry TX_FUNCTIONS[] = {
    {"0", "Normal SunLink communication (default)"},
    {"1", "Pulse every 0.01kWh"},
    {"2", "Light dimming control (pwm normal)", chargerHas<SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER>},
    {"3", "Light dimming control (pwm inverted)", chargerHas<SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER>},
    {"4", "Virtual load output", chargerHas<SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT>},
    {"5", "Virtual relay", chargerHas<SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY>},
};

// The functions the RX pin can take; the load output ones are listed only where there is one.
const MenuEntry RX_FUNCTIONS[] = {
    {"0", "Remote on/off"},
    {"1", "Load output configuration (default)", chargerHas<SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT>},
    {"2", "Load output on/off", chargerHas<SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT>},
};

// One port screen: the choices, then the answer for the setter. Returns whether the settings
// list changed.
bool askPortFunction(ConsoleSession& s, const char* port, const char* label, Menu choices,
                     SetResult (SettingSetters::*setter)(const std::string&)) {
  const std::vector<std::string> before = s.model.values();
  const unsigned current = s.model.find(label).getU8();
  s.redraw();
  std::ostream& out = s.out();
  out << "\nSunLink " << port << " Port function\n\n";
  writeMenuLines(s, choices);
  out << "\n";
  out << port << " Port function (type " << namedKeys(s, choices) << " and press enter) ["
      << current << "]: ";
  s.show((s.setters.*setter)(s.answerLine()));
  return s.model.values() != before;
}

}  // namespace

bool runTxPortMenu(ConsoleSession& session) {
  return askPortFunction(session, "TX", "port_tx_function", TX_FUNCTIONS,
                         &SettingSetters::setTxPortFunction);
}

bool runRxPortMenu(ConsoleSession& session) {
  return askPortFunction(session, "RX", "port_rx_function", RX_FUNCTIONS,
                         &SettingSetters::setRxPortFunction);
}

}  // namespace sunlink
