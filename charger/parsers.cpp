// The number parsers: the tolerance rules for typed values (decimal comma, trailing units) and the
// ranges each kind of value is clamped to, or refused outside, before it can reach a setting.

#include "charger/parsers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "charger/charger_settings.h"
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

// What a battery of this system voltage may be charged at, and its switching levels set to.
struct VoltageRange {
  double low, high;
};

VoltageRange batteryVoltageRange(int systemVoltage) {
  return {systemVoltage * 75 / 100.0, systemVoltage * 145 / 100.0};
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

double truncateDecimal(double x) { return std::trunc(std::round(x * 1e6) / 1e6); }

double ChargerSettings::parseVoltage(std::string text, double defaultValue) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return defaultValue;
  const VoltageRange range = batteryVoltageRange(systemVoltage());
  return clampToRange(*value, range.low, range.high);
}

std::optional<double> ChargerSettings::parseChargeVoltage(std::string text, const char* name) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return std::nullopt;
  const VoltageRange range = batteryVoltageRange(systemVoltage());
  if (*value < range.low || *value > range.high) {
    *io.err << name << " must be between " << fixedPoint(range.low, 2) << " and "
            << fixedPoint(range.high, 2) << " V\n\n";
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
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return std::nullopt;
  const int v = systemVoltage();
  // Firmware after 1.16 accepts only compensation that lowers the voltage as the battery warms.
  if (capabilities.firmwareVersion <= 0x116) {
    return clampToRange(*value, -21.0 * v / 12, 21.0 * v / 12);
  }
  return clampToRange(*value, -30.0 * v / 12, 0.0);
}

double ChargerSettings::parseCurrent(std::string text, double defaultValue) {
  const std::optional<double> value = readNumber(*io.err, prepareNumberText(std::move(text)));
  if (!value) return defaultValue;
  return clampToRange(*value, 0.1, capabilities.maxCurrent);
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

double ChargerSettings::parseHours(std::string text, double maxHours) {
  return parseDuration(std::move(text), maxHours) / 60.0;
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
