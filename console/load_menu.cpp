// The load output menu and the street-light timer program behind it.

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/factory_levels.h"
#include "charger/load_control.h"
#include "charger/value_text.h"
#include "console/menu_input.h"
#include "console/menu_table.h"
#include "console/menus.h"

namespace sunlink {

namespace {

bool hasSwitchLevels(const ChargerSettings& model) {
  return model.has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
                   SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
}

std::string systemVolts(ChargerSettings& model, double twelveVoltLevel) {
  return fixedPoint(model.systemVoltage() * twelveVoltLevel / 12, 2);
}

constexpr auto userSwitch = chargerHas<SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH>;
constexpr auto selector = chargerHas<SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE>;
constexpr auto solarTimer = chargerHas<SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER>;

std::string lowLevel(ChargerSettings& model) {
  return settingVolts(model, "load_switch_low_level");
}
std::string highLevel(ChargerSettings& model) {
  return settingVolts(model, "load_switch_high_level");
}
std::string selectorTimer(ChargerSettings& model) {
  std::ostringstream text;
  printHoursMinutes(text, model.find("automatic_energy_selector_timer").getU16());
  return text.str();
}

// The load operation modes: the list on the mode screen and the values its prompt names.
const MenuEntry LOAD_MODES[] = {
    {"0", "Load always off"},
    {"1", "Cellcare algorithm (default)"},
    {"2",
     [](ChargerSettings& m) {
       return "Conventional algorithm 1 (off<" + systemVolts(m, CONVENTIONAL_ALGORITHM_1.off) +
              "V, on>" + systemVolts(m, CONVENTIONAL_ALGORITHM_1.on) + "V)";
     }},
    {"3",
     [](ChargerSettings& m) {
       return "Conventional algorithm 2 (off<" + systemVolts(m, CONVENTIONAL_ALGORITHM_2.off) +
              "V, on>" + systemVolts(m, CONVENTIONAL_ALGORITHM_2.on) + "V)";
     }},
    {"4", "Load always on"},
    {"5",
     [](ChargerSettings& m) {
       return "User defined algorithm 1 (off<" + lowLevel(m) + "V, on>" + highLevel(m) + "V)";
     },
     userSwitch},
    {"6",
     [](ChargerSettings& m) {
       return "User defined algorithm 2 (off<" + lowLevel(m) + "V<on<" + highLevel(m) + "V<off)";
     },
     userSwitch},
    {"7",
     [](ChargerSettings& m) {
       return "Automatic energy selector (off<" + lowLevel(m) + "V, on>" + highLevel(m) +
              "V, time=" + selectorTimer(m) + ")";
     },
     selector},
};

// The operation mode screen (key m of the load menu).
void askLoadMode(ChargerSettings& model) {
  redrawSettings(model);
  std::ostream& out = *model.io.out;
  out << "\nLoad operation mode\n\n";
  writeMenuLines(model, LOAD_MODES);
  out << "\n";
  // A jumper on the port overrules the mode unless the port is given another job.
  if (!model.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT) &&
      (!model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION) ||
       model.find("port_rx_function").getU8() == 1)) {
    out << "Note: The load operation mode can be overruled by placing a jumper on the\n";
    out << "      sunlink connector.\n";
  }
  out << "Load operation mode (type " << namedKeys(model, LOAD_MODES) << " and press enter) ["
      << LoadControl(model.find("load_control").getU8()).mode() << "]: ";
  model.setLoadMode(readAnswerLine(model.io));
}

void askSelectorTimer(ChargerSettings& model) {
  Vreg& timer = model.find("automatic_energy_selector_timer");
  std::ostream& out = *model.io.out;
  out << "\nAutomatic energy selector timer [";
  printHoursMinutes(out, timer.getU16());
  out << "]: ";
  // The charger's selector runs for at most an hour.
  const std::uint16_t minutes = model.parseDuration(readAnswerLine(model.io), 1);
  if (minutes != 0) timer.setU16(minutes);
}

// ---- the lighting timer program ----

void setEvent(ChargerSettings& model, int slot, std::uint8_t level, std::uint8_t anchor,
              std::int16_t offset) {
  LightingEvent event;
  event.level = level;
  event.anchor = anchor;
  event.offset = offset;
  model.find("lighting_event" + std::to_string(slot)).setU32(event.pack());
}

void clearEvent(ChargerSettings& model, int slot) {
  model.find("lighting_event" + std::to_string(slot)).setU32(0);
}

// Event 4 ends every night program that leaves the light on: off when the sun rises.
void offAtSunrise(ChargerSettings& model) { setEvent(model, 4, 0, ANCHOR_SUNRISE, 0); }

std::uint8_t askDimLevel(ChargerSettings& model) {
  *model.io.out << "Specify the dim-level [100%]: ";
  return model.parsePercent(readAnswerLine(model.io), 100);
}

std::uint8_t askNextDimLevel(ChargerSettings& model) {
  *model.io.out << "What to do next, specify the dim-level use 0% to switch off [0%]: ";
  return model.parsePercent(readAnswerLine(model.io), 0);
}

// The hour questions: 0 minutes (also an unreadable answer) means the user backed out.
std::uint16_t askHours(ChargerSettings& model, const char* question) {
  *model.io.out << "\n" << question;
  return model.parseDuration(readAnswer(model.io), 15);
}

void programFixedHoursAfterSunset(ChargerSettings& model) {
  const std::uint16_t minutes =
      askHours(model, "How many hours must the light remain on after sunset: ");
  if (minutes == 0) return;
  const std::uint8_t first = askDimLevel(model);
  const std::uint8_t next = askNextDimLevel(model);
  setEvent(model, 1, first, ANCHOR_SUNSET, 0);
  setEvent(model, 2, next, ANCHOR_SUNSET, static_cast<std::int16_t>(minutes));
  if (next != 0) offAtSunrise(model);
}

void programSunsetTillMidnight(ChargerSettings& model) {
  const std::uint8_t first = askDimLevel(model);
  const std::uint8_t next = askNextDimLevel(model);
  setEvent(model, 1, first, ANCHOR_SUNSET, 0);
  setEvent(model, 2, next, ANCHOR_MIDNIGHT, 0);
  if (next != 0) offAtSunrise(model);
}

void programSunsetTillSunrise(ChargerSettings& model) {
  const std::uint8_t level = askDimLevel(model);
  setEvent(model, 1, level, ANCHOR_SUNSET, 0);
  clearEvent(model, 2);
  clearEvent(model, 3);
  offAtSunrise(model);
}

void programFixedHoursBeforeSunrise(ChargerSettings& model) {
  const std::uint16_t minutes =
      askHours(model, "How many hours must the light switch on before sunrise: ");
  if (minutes == 0) return;
  const std::uint8_t level = askDimLevel(model);
  setEvent(model, 3, level, ANCHOR_SUNRISE, static_cast<std::int16_t>(-minutes));
  offAtSunrise(model);
}

void askMidpointShift(ChargerSettings& model) {
  Vreg& shift = model.find("midpoint_shift");
  const std::int16_t current = static_cast<std::int16_t>(shift.getU16());
  std::ostream& out = *model.io.out;
  out << "\n";
  out << "The midnight point is estimated based on the solar activity, due to your\n";
  out << "geographical position and day-light saving this will deviate from the actual\n";
  out << "midnight. With the midpoint shift this can be compensated partially. Note that\n";
  out << "this setting is only relevant when your timer program uses midnight as a\n";
  out << "switching moment (like option c does). Use 0 to disable the shift (default).\n";
  out << "\n";
  out << "Calculation example: sunset 19:00 (=1140 min), sunrise 6:25 (=385 min)\n";
  out << "  night duration = midnight-sunset+sunrise = 1440-1140+385 = 685 minutes\n";
  out << "  shift = sunset+night_duration/2-midnight = 1140+342-1440 = 42 minutes\n";
  out << "\n";
  out << "Desired mid-point shift in minutes [" << current << "]: ";
  const std::int16_t value = model.parseSmallInt(readAnswer(model.io), current, -1440, 1440);
  shift.setU16(static_cast<std::uint16_t>(value));
}

void askDimSpeed(ChargerSettings& model) {
  Vreg& speed = model.find("dim_speed");
  const std::uint8_t current = speed.getU8();
  std::ostream& out = *model.io.out;
  out << "\n";
  out << "The gradual dimming option can be used to slow down the response of the timer\n";
  out << "program. This is useful when multiple chargers are used in a row, to mask the\n";
  out << "effect that each timer uses its own detection and the transitions moments will\n";
  out << "vary from unit to unit.\n";
  out << "\n";
  out << "Settings (1% change per x seconds):\n";
  out << "0 = immediate response (gradual dimming disabled)\n";
  out << "9 = dim from 0 to 100% in 15 minutes\n";
  out << "\n";
  out << "Desired gradual dim speed [" << static_cast<unsigned>(current) << "]: ";
  speed.setU8(model.parsePercent(readAnswerLine(model.io), current));
}

void askPanelVoltages(ChargerSettings& model) {
  Vreg& nightLevel = model.find("panel_voltage_night");
  Vreg& dayLevel = model.find("panel_voltage_day");
  double night = nightLevel.getNumber();
  double day = dayLevel.getNumber();
  std::ostream& out = *model.io.out;
  out << "\n";
  out << "Night/day detection voltage tweaks can be used to adjust the detection to match\n";
  out << "the panel configuration. The day detection voltage must be 0.5V higher than the\n";
  out << "night detection level. Set this option to 0 to use the built-in defaults\n";
  out << "(night: Vpanel<11.4V, day: Vpanel>11.9V).\n";
  out << "\n";
  out << "Night panel voltage detection level [" << fixedPoint(night, 2) << "]: ";
  night = model.parsePanelVoltage(readAnswerLine(model.io), night);
  out << "Day panel voltage detection level [" << fixedPoint(day, 2) << "]: ";
  day = model.parsePanelVoltage(readAnswerLine(model.io), day);
  if (night == 0 || day == 0) {
    // The charger uses its built-in pair only when both levels are 0.
    noticeStream(model.io) << "Using built-in default values\n\n";
    night = 0;
    day = 0;
  } else if (night + 0.5 > day) {
    // Raising the day level above what the charger's panel input takes would store a level it
    // cannot detect: the pair is refused, and both levels stay as they were.
    const double maximum = model.capabilities.maxPvVoltage;
    if (night + 0.5 > maximum) {
      *model.io.err << "Day voltage level must be 0.5V above the night level and at most "
                    << fixedPoint(maximum, 2) << "V.\n\n";
      return;
    }
    *model.io.err << "Day voltage level must be 0.5V higher than the night voltage level.\n\n";
    day = night + 0.5;
  }
  nightLevel.setNumber(night);
  dayLevel.setNumber(day);
}

void askDelays(ChargerSettings& model) {
  Vreg& sunset = model.find("sunset_delay");
  Vreg& sunrise = model.find("sunrise_delay");
  const std::int16_t sunsetNow = static_cast<std::int16_t>(sunset.getU16());
  const std::int16_t sunriseNow = static_cast<std::int16_t>(sunrise.getU16());
  std::ostream& out = *model.io.out;
  out << "\n";
  out << "Sunset/sunrise delay duration can be used to make the system less\n";
  out << "  sensitive for clouds.\n";
  out << "\n";
  out << "Desired sunset delay duration in minutes [" << sunsetNow << "]: ";
  const std::int16_t sunsetValue = model.parseSmallInt(readAnswerLine(model.io), sunsetNow, 0, 30);
  out << "Desired sunrise delay duration in minutes [" << sunriseNow << "]: ";
  const std::int16_t sunriseValue =
      model.parseSmallInt(readAnswerLine(model.io), sunriseNow, 0, 30);
  sunset.setU16(static_cast<std::uint16_t>(sunsetValue));
  sunrise.setU16(static_cast<std::uint16_t>(sunriseValue));
}

bool dimmingSetup(ChargerSettings& model) { return model.capabilities.streetlightVersion >= 2; }
bool plainDimming(ChargerSettings& model) { return !dimmingSetup(model); }
bool cloudDelays(ChargerSettings& model) { return model.capabilities.streetlightVersion >= 3; }

const MenuEntry LIGHTING_MENU[] = {
    {nullptr, ""},
    {nullptr, "Lighting controller timer program"},
    {nullptr, ""},
    {nullptr, "sunset control actions:"},
    {"a", "no action", nullptr,
     [](ChargerSettings& m) {
       clearEvent(m, 1);
       clearEvent(m, 2);
     }},
    {"b", "on for a fixed number of hours after sunset", nullptr, programFixedHoursAfterSunset},
    {"c", "on from sunset till midnight", nullptr, programSunsetTillMidnight},
    {"d", "on from sunset till sunrise", nullptr, programSunsetTillSunrise},
    {nullptr, ""},
    {nullptr, "sunrise control actions:"},
    {"e", "switch off at sunrise", nullptr,
     [](ChargerSettings& m) {
       clearEvent(m, 3);
       offAtSunrise(m);
     }},
    {"f", "on for a fixed number of hours before sunrise", nullptr, programFixedHoursBeforeSunrise},
    {nullptr, ""},
    // Taken, but left out of the prompt: it matters only to programs that switch at midnight.
    {"m", "mid-point shift", nullptr, askMidpointShift, never},
    {"s", "setup gradual dimming (speed)", dimmingSetup, askDimSpeed},
    {"t", "panel voltage tweaks (night/day detection thresholds)", dimmingSetup, askPanelVoltages},
    {"r", "sunrise/set delays (clouds)", cloudDelays, askDelays},
    {nullptr, ""},
    {"x", "Return to the previous menu", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
    {nullptr, "Note1: The charger needs to operate several days before it syncs with the solar"},
    {nullptr, "       activity, while unsynchronised 12-hour day and 12-hour night is assumed."},
    {nullptr, "Note2: To use the (gradual) dimming function the sunlink tx port function must",
     dimmingSetup},
    {nullptr, "       set to pwm mode (main menu option p).", dimmingSetup},
    {nullptr, "Note2: To use the dimming function the sunlink tx port function must set to",
     plainDimming},
    {nullptr, "       pwm mode (main menu option p).", plainDimming},
};

int loadMode(ChargerSettings& model) {
  return LoadControl(model.find("load_control").getU8()).mode();
}
bool lightingOn(ChargerSettings& model) {
  return LoadControl(model.find("load_control").getU8()).lightingController();
}
// The switch levels are offered while the mode that uses them is on.
bool levelsShown(ChargerSettings& model) {
  const int mode = loadMode(model);
  return hasSwitchLevels(model) && mode >= 5 && mode <= 7;
}
bool timerShown(ChargerSettings& model) { return selector(model) && loadMode(model) == 7; }

const MenuEntry LOAD_MENU[] = {
    {nullptr, ""},
    {nullptr,
     [](ChargerSettings& m) {
       return std::string("Load output") + (solarTimer(m) ? " / lighting controller (timer)" : "") +
              " settings";
     }},
    {nullptr, ""},
    {"m", "Modify load operation mode", nullptr, askLoadMode},
    {"h",
     [](ChargerSettings& m) {
       return "Modify load switch high voltage level (" + highLevel(m) + "V)";
     },
     levelsShown,
     [](ChargerSettings& m) {
       *m.io.out << "\nLoad switch high voltage level [" << highLevel(m) << "]: ";
       m.setLoadSwitchHigh(readAnswerLine(m.io));
     },
     nullptr, MenuTaken::kWhenOffered, "load_switch_high_level"},
    {"l",
     [](ChargerSettings& m) {
       return "Modify load switch low voltage level (" + lowLevel(m) + "V)";
     },
     levelsShown,
     [](ChargerSettings& m) {
       *m.io.out << "\nLoad switch low voltage level [" << lowLevel(m) << "]: ";
       m.setLoadSwitchLow(readAnswerLine(m.io));
     },
     nullptr, MenuTaken::kWhenOffered, "load_switch_low_level"},
    {"a",
     [](ChargerSettings& m) {
       return "Modify Automatic energy selector timer (" + selectorTimer(m) + ")";
     },
     timerShown, askSelectorTimer, nullptr, MenuTaken::kWhenOffered,
     "automatic_energy_selector_timer"},
    {"s",
     [](ChargerSettings& m) {
       return std::string(lightingOn(m) ? "Disable" : "Enable") + " lighting controller (timer)";
     },
     solarTimer, [](ChargerSettings& m) { m.setLightingController(lightingOn(m) ? "0" : "1"); }},
    {"p", "Modify lighting controller timer program",
     [](ChargerSettings& m) { return solarTimer(m) && lightingOn(m); },
     [](ChargerSettings& m) { runLightingMenu(m); }},
    {nullptr, ""},
    {"x", "Return to the previous menu", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
};

}  // namespace

bool runLoadMenu(ChargerSettings& model) { return runMenu(model, LOAD_MENU, true); }

bool runLightingMenu(ChargerSettings& model) { return runMenu(model, LIGHTING_MENU, true); }

}  // namespace sunlink
