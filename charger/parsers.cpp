// The number parsers: the tolerance rules for typed values (decimal comma, trailing units) and the
// ranges each kind of value is clamped to, or refused outside, before it can reach a setting. The
// values of the command line and the main menu's setting keys are read strictly and refused
// outside their range; the lighting and relay prompts keep the tolerant reading and the clamps.

#include "charger/parsers.h"

#include <boost/algorithm/string/predicate.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "charger/charger_settings.h"
#include "charger/setting_catalogue.h"
#include "charger/value_text.h"

namespace sunlink {

const char numberStopChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()_=+[]{};:<>,/? ";

namespace {

const char kUnableToInterpret[] = "Unable to interpret value";

// A value below low becomes low, then a value above high becomes high (so when the range is empty,
// as with an unknown current rating of 0, high wins).
double clampToRange(double value, double low, double high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

// Prepared text as a number; text that is none gets the refusal on err and gives nothing.
std::optional<double> readNumber(std::ostream& err, const std::string& prepared) {
  const std::optional<double> value = convertNumber(prepared);
  if (!value) err << kUnableToInterpret << "\n\n";
  return value;
}

// A value typed for a setting as a number; text that is none gets the refusal on err.
std::optional<double> readSettingNumber(std::ostream& err, const std::string& text,
                                        const char* unit) {
  const std::optional<double> value = convertSettingNumber(text, unit);
  if (!value) err << kUnableToInterpret << "\n\n";
  return value;
}

// A typed number as the refusal echoes it: as short as it reads (144, 17.405, -5).
std::string shortNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// "<name> must be between <low> and <high><unit>, not <value><unit>" and an empty line on err:
// the setting, the range and what was typed, so that the user sees which of them is wrong.
void refuseOutsideRange(std::ostream& err, const char* name, const std::string& low,
                        const std::string& high, const std::string& value, const char* unit) {
  err << name << " must be between " << low << " and " << high << unit << ", not " << value << unit
      << "\n\n";
}

// Minutes as H:MM, the way the absorption time is typed (390 gives 6:30).
std::string hoursAndMinutes(long minutes) {
  const long magnitude = minutes < 0 ? -minutes : minutes;
  std::string text = (minutes < 0 ? "-" : "") + std::to_string(magnitude / 60) + ":";
  if (magnitude % 60 < 10) text += "0";
  return text + std::to_string(magnitude % 60);
}

// What the charger holds for a setting, by the catalogue; every setting these parsers serve has
// limits there.
SettingLimits limitsOf(ChargerSettings& model, const char* label) {
  return *settingLimits(label, ChargerAtHand{model.capabilities, model.systemVoltage()});
}

}  // namespace

std::string prepareNumberText(std::string text) {
  const std::size_t comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
  const std::size_t stop = text.find_first_of(numberStopChars);
  if (stop != std::string::npos) text.erase(stop);
  return text;
}

std::optional<double> convertNumber(const std::string& text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  bool digit = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  // The text is now plain decimal notation, which strtod reads whole; its decimal point is the
  // "C" locale's, which the program never changes.
  return std::strtod(text.c_str(), nullptr);
}

std::optional<int> convertWholeInteger(const std::string& text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (i == text.size()) return std::nullopt;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  }
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The text without a trailing unit (in any case) and the blanks before it.
std::string withoutUnit(const std::string& text, const std::string& unit) {
  std::size_t end = text.size();
  if (!unit.empty() && boost::algorithm::iends_with(text, unit)) end -= unit.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

// 1 to maxDigits decimal digits and nothing else.
std::optional<long> convertDigits(const std::string& text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<double> convertSettingNumber(const std::string& text, const std::string& unit) {
  std::string number = withoutUnit(text, unit);
  const std::size_t comma = number.find(',');
  if (comma != std::string::npos) number[comma] = '.';
  return convertNumber(number);
}

std::optional<long> convertHoursText(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    const std::optional<double> hours = convertSettingNumber(text, "h");
    // Far beyond any limit, and beyond what the minutes can be counted in: not a duration.
    if (!hours || std::fabs(*hours) > 1e6) return std::nullopt;
    return static_cast<long>(truncateDecimal(*hours * 60));
  }
  // Four digits of hours are far more than any limit; they keep the sum within a long.
  const std::optional<long> hours = convertDigits(text.substr(0, colon), 4);
  const std::optional<long> minutes = convertDigits(withoutUnit(text.substr(colon + 1), "h"), 2);
  if (!hours || !minutes || *minutes > 59) return std::nullopt;
  return *hours * 60 + *minutes;
}

double truncateDecimal(double x) { return std::trunc(std::round(x * 1e6) / 1e6); }

double ChargerSettings::parseVoltage(std::string text, double defaultValue) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return defaultValue;
  // Every voltage this parser serves follows the system voltage like the charge voltages.
  const SettingLimits range = limitsOf(*this, "absorption_voltage");
  return clampToRange(*value, range.low, range.high);
}

std::optional<double> ChargerSettings::parseChargeVoltage(std::string text, const char* name) {
  const std::optional<double> value = readSettingNumber(*io.err, text, "V");
  if (!value) return std::nullopt;
  const SettingLimits range = limitsOf(*this, "absorption_voltage");
  if (*value < range.low || *value > range.high) {
    refuseOutsideRange(*io.err, name, fixedPoint(range.low, 2), fixedPoint(range.high, 2),
                       shortNumber(*value), " V");
    return std::nullopt;
  }
  return value;
}

double ChargerSettings::parsePanelVoltage(std::string text, double defaultValue) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return defaultValue;
  // A panel level below 0 V means nothing to the charger, and stored in its unsigned register a
  // negative number would read back as some 650 V. It is refused like unreadable text rather than
  // made 0, which is a level of its own ("built-in default" for the night/day detection levels).
  if (*value < 0) {
    *io.err << kUnableToInterpret << "\n\n";
    return defaultValue;
  }
  return clampToRange(*value, 0.0, capabilities.maxPvVoltage);
}

std::optional<double> ChargerSettings::parseTemperatureCompensation(std::string text) {
  const std::optional<double> value = readSettingNumber(*io.err, text, "mV/K");
  if (!value) return std::nullopt;
  const SettingLimits range = limitsOf(*this, "temperature_compensation");
  const double low = range.low;
  const double high = range.high;
  if (*value < low || *value > high) {
    refuseOutsideRange(*io.err, "temperature compensation", fixedPoint(low, 2), fixedPoint(high, 2),
                       shortNumber(*value), " mV/K");
    return std::nullopt;
  }
  return value;
}

std::optional<double> ChargerSettings::parseCurrent(std::string text) {
  const std::optional<double> value = readSettingNumber(*io.err, text, "A");
  if (!value) return std::nullopt;
  // A charger that did not report its rating is held only to what its register of 0.1 A steps
  // can carry: a rating the program does not know is not a reason to refuse every current.
  const SettingLimits range = limitsOf(*this, "maximum_current");
  if (*value < range.low || *value > range.high) {
    refuseOutsideRange(*io.err, "current limit", fixedPoint(range.low, 1),
                       fixedPoint(range.high, 1), shortNumber(*value), " A");
    return std::nullopt;
  }
  return value;
}

std::int16_t ChargerSettings::parseSmallInt(std::string text, std::int16_t defaultValue, int low,
                                            int high) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return defaultValue;
  return static_cast<std::int16_t>(clampToRange(std::trunc(*value), low, high));
}

std::uint16_t ChargerSettings::parseDuration(std::string text, double maxHours) {
  long minutes = 0;
  const std::size_t colon = text.find(':');
  if (colon != std::string::npos) minutes = parseSmallInt(text.substr(colon + 1), 0, -1440, 1440);
  // The hours end at the colon, which is a stop character.
  const std::optional<double> hours = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!hours) return 0;
  const double h = clampToRange(*hours, 0.0, maxHours);
  long total = minutes + static_cast<long>(truncateDecimal(h * 60));
  // "0:-30" would come to -30 minutes, which as an unsigned duration is 65506 minutes (45 days);
  // a duration cannot be negative, and 0 is what every caller treats as "nothing entered".
  if (total < 0) total = 0;
  return static_cast<std::uint16_t>(total);
}

std::optional<double> ChargerSettings::parseHours(std::string text, double maxHours) {
  const std::optional<long> minutes = convertHoursText(text);
  if (!minutes) {
    *io.err << kUnableToInterpret << "\n\n";
    return std::nullopt;
  }
  // No time at all in absorption is no limit the charger can work with.
  const long highest = static_cast<long>(maxHours * 60);
  if (*minutes < 1 || *minutes > highest) {
    refuseOutsideRange(*io.err, "absorption time limit", hoursAndMinutes(1),
                       hoursAndMinutes(highest), hoursAndMinutes(*minutes), "");
    return std::nullopt;
  }
  return *minutes / 60.0;
}

std::uint8_t ChargerSettings::parsePercent(std::string text, std::uint8_t defaultValue) {
  const std::string prepared = prepareNumberText(std::move(text));
  // Pressing only Enter keeps the offered default without a complaint.
  if (prepared.empty()) return defaultValue;
  const std::optional<double> value = readNumber(*io.err, prepared);
  if (!value) return defaultValue;
  return static_cast<std::uint8_t>(std::trunc(clampToRange(*value, 0.0, 100.0)));
}

}  // namespace sunlink
