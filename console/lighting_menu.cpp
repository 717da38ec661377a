// The lighting controller's timer program: which events switch the street light at sunset and
// sunrise, and the tweaks of newer street-light versions (dimming speed, night/day levels, delays).

#include <cstdint>
#include <ostream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/parsers.h"
#include "charger/value_text.h"
#include "console/console_session.h"
#include "console/menu_input.h"
#include "console/menu_table.h"
#include "console/menus.h"

namespace sunlink {

namespace {

void setEvent(ConsoleSession& s, int slot, std::uint8_t level, std::uint8_t anchor,
              std::int16_t offset) {
  LightingEvent event;
  event.level = level;
  event.anchor = anchor;
  event.offset = offset;
  s.model.find("lighting_event" + std::to_string(slot)).setU32(event.pack());
}

void clearEvent(ConsoleSession& s, int slot) {
  s.model.find("lighting_event" + std::to_string(slot)).setU32(0);
}

// Event 4 ends every night program that leaves the light on: off when the sun rises.
void offAtSunrise(ConsoleSession& s) { setEvent(s, 4, 0, ANCHOR_SUNRISE, 0); }

std::uint8_t askDimLevel(ConsoleSession& s) {
  s.out() << "Specify the dim-level [100%]: ";
  return s.take(parsePercent(s.answerLine(), 100));
}

std::uint8_t askNextDimLevel(ConsoleSession& s) {
  s.out() << "What to do next, specify the dim-level use 0% to switch off [0%]: ";
  return s.take(parsePercent(s.answerLine(), 0));
}

// The hour questions: 0 minutes (also an unreadable answer) means the user backed out.
std::uint16_t askHours(ConsoleSession& s, const char* question) {
  s.out() << "\n" << question;
  return s.take(parseDuration(s.answer(), 15));
}

void programFixedHoursAfterSunset(ConsoleSession& s) {
  const std::uint16_t minutes =
      askHours(s, "How many hours must the light remain on after sunset: ");
  if (minutes == 0) return;
  const std::uint8_t first = askDimLevel(s);
  const std::uint8_t next = askNextDimLevel(s);
  setEvent(s, 1, first, ANCHOR_SUNSET, 0);
  setEvent(s, 2, next, ANCHOR_SUNSET, static_cast<std::int16_t>(minutes));
  if (next != 0) offAtSunrise(s);
}

void programSunsetTillMidnight(ConsoleSession& s) {
  const std::uint8_t first = askDimLevel(s);
  const std::uint8_t next = askNextDimLevel(s);
  setEvent(s, 1, first, ANCHOR_SUNSET, 0);
  setEvent(s, 2, next, ANCHOR_MIDNIGHT, 0);
  if (next != 0) offAtSunrise(s);
}

void programSunsetTillSunrise(ConsoleSession& s) {
  const std::uint8_t level = askDimLevel(s);
  setEvent(s, 1, level, ANCHOR_SUNSET, 0);
  clearEvent(s, 2);
  clearEvent(s, 3);
  offAtSunrise(s);
}

void programFixedHoursBeforeSunrise(ConsoleSession& s) {
  const std::uint16_t minutes =
      askHours(s, "How many hours must the light switch on before sunrise: ");
  if (minutes == 0) return;
  const std::uint8_t level = askDimLevel(s);
  setEvent(s, 3, level, ANCHOR_SUNRISE, static_cast<std::int16_t>(-minutes));
  offAtSunrise(s);
}

void askMidpointShift(ConsoleSession& s) {
  Vreg& shift = s.model.find("midpoint_shift");
  const std::int16_t current = static_cast<std::int16_t>(shift.getU16());
  std::ostream& out = s.out();
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
  const std::int16_t value = s.take(parseSmallInt(s.answer(), current, -1440, 1440));
  shift.setU16(static_cast<std::uint16_t>(value));
}

void askDimSpeed(ConsoleSession& s) {
  Vreg& speed = s.model.find("dim_speed");
  const std::uint8_t current = speed.getU8();
  std::ostream& out = s.out();
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
  speed.setU8(s.take(parsePercent(s.answerLine(), current)));
}

void askPanelVoltages(ConsoleSession& s) {
  Vreg& nightLevel = s.model.find("panel_voltage_night");
  Vreg& dayLevel = s.model.find("panel_voltage_day");
  double night = nightLevel.getNumber();
  double day = dayLevel.getNumber();
  const double maximum = s.model.capabilities.maxPvVoltage;
  std::ostream& out = s.out();
  out << "\n";
  out << "Night/day detection voltage tweaks can be used to adjust the detection to match\n";
  out << "the panel configuration. The day detection voltage must be 0.5V higher than the\n";
  out << "night detection level. Set this option to 0 to use the built-in defaults\n";
  out << "(night: Vpanel<11.4V, day: Vpanel>11.9V).\n";
  out << "\n";
  out << "Night panel voltage detection level [" << fixedPoint(night, 2) << "]: ";
  night = s.take(parsePanelVoltage(s.answerLine(), night, maximum));
  out << "Day panel voltage detection level [" << fixedPoint(day, 2) << "]: ";
  day = s.take(parsePanelVoltage(s.answerLine(), day, maximum));
  if (night == 0 || day == 0) {
    // The charger uses its built-in pair only when both levels are 0.
    noticeStream(s.io) << "Using built-in default values\n\n";
    night = 0;
    day = 0;
  } else if (night + 0.5 > day) {
    // Raising the day level above what the charger's panel input takes would store a level it
    // cannot detect: the pair is refused, and both levels stay as they were.
    if (night + 0.5 > maximum) {
      *s.io.err << "Day voltage level must be 0.5V above the night level and at most "
                << fixedPoint(maximum, 2) << "V.\n\n";
      return;
    }
    *s.io.err << "Day voltage level must be 0.5V higher than the night voltage level.\n\n";
    day = night + 0.5;
  }
  nightLevel.setNumber(night);
  dayLevel.setNumber(day);
}

void askDelays(ConsoleSession& s) {
  Vreg& sunset = s.model.find("sunset_delay");
  Vreg& sunrise = s.model.find("sunrise_delay");
  const std::int16_t sunsetNow = static_cast<std::int16_t>(sunset.getU16());
  const std::int16_t sunriseNow = static_cast<std::int16_t>(sunrise.getU16());
  std::ostream& out = s.out();
  out << "\n";
  out << "Sunset/sunrise delay duration can be used to make the system less\n";
  out << "  sensitive for clouds.\n";
  out << "\n";
  out << "Desired sunset delay duration in minutes [" << sunsetNow << "]: ";
  const std::int16_t sunsetValue = s.take(parseSmallInt(s.answerLine(), sunsetNow, 0, 30));
  out << "Desired sunrise delay duration in minutes [" << sunriseNow << "]: ";
  const std::int16_t sunriseValue = s.take(parseSmallInt(s.answerLine(), sunriseNow, 0, 30));
  sunset.setU16(static_cast<std::uint16_t>(sunsetValue));
  sunrise.setU16(static_cast<std::uint16_t>(sunriseValue));
}

bool dimmingSetup(ConsoleSession& s) { return s.model.capabilities.streetlightVersion >= 2; }
bool plainDimming(ConsoleSession& s) { return !dimmingSetup(s); }
bool cloudDelays(ConsoleSession& s) { return s.model.capabilities.streetlightVersion >= 3; }

const MenuEntry LIGHTING_MENU[] = {
    {nullptr, ""},
    {nullptr, "Lighting controller timer program"},
    {nullptr, ""},
    {nullptr, "sunset control actions:"},
    {"a", "no action", nullptr,
     [](ConsoleSession& s) {
       clearEvent(s, 1);
       clearEvent(s, 2);
     }},
    {"b", "on for a fixed number of hours after sunset", nullptr, programFixedHoursAfterSunset},
    {"c", "on from sunset till midnight", nullptr, programSunsetTillMidnight},
    {"d", "on from sunset till sunrise", nullptr, programSunsetTillSunrise},
    {nullptr, ""},
    {nullptr, "sunrise control actions:"},
    {"e", "switch off at sunrise", nullptr,
     [](ConsoleSession& s) {
       clearEvent(s, 3);
       offAtSunrise(s);
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

}  // namespace

bool runLightingMenu(ConsoleSession& s) { return runMenu(s, LIGHTING_MENU, true); }

}  // namespace sunlink
