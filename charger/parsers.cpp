// The number parsers: the tolerance rules for typed values (decimal comma, trailing units) and the
// ranges each kind of value is clamped to, or refused outside, before it can reach a setting. The
// values of the command line and the main menu's setting keys are read strictly and refused
// outside their range; the lighting and relay prompts keep the tolerant reading and the clamps.
// Nothing here prints.

#include "charger/parsers.h"

#include <boost/algorithm/string/predicate.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "charger/value_text.h"

namespace sunlink {

const char numberStopChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()_=+[]{};:<>,/? ";

const char kUnableToInterpret[] = "Unable to interpret value";

namespace {

// Text that is no number: the default, and the complaint.
template <typename T>
Reading<T> unreadable(T defaultValue) {
  return {defaultValue, {kUnableToInterpret}};
}

// A typed number as the refusal echoes it: as short as it reads (144, 17.405, -5).
std::string shortNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// "<name> must be between <low> and <high><unit>, not <value><unit>": the setting, the range and
// what was typed, so that the user sees which of them is wrong.
std::string outsideRange(const char* name, const std::string& low, const std::string& high,
                         const std::string& value, const char* unit) {
  return std::string(name) + " must be between " + low + " and " + high + unit + ", not " + value +
         unit;
}

// Minutes as H:MM, the way the absorption time is typed (390 gives 6:30).
std::string hoursAndMinutes(long minutes) {
  const long magnitude = minutes < 0 ? -minutes : minutes;
  std::string text = (minutes < 0 ? "-" : "") + std::to_string(magnitude / 60) + ":";
  if (magnitude % 60 < 10) text += "0";
  return text + std::to_string(magnitude % 60);
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

double clampToRange(double value, double low, double high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

Reading<double> parsePanelVoltage(const std::string& text, double defaultValue,
                                  double maxPvVoltage) {
  const std::optional<double> value = convertNumber(prepareNumberText(text));
  // A panel level below 0 V means nothing to the charger, and stored in its unsigned register a
  // negative number would read back as some 650 V. It is refused like unreadable text rather than
  // made 0, which is a level of its own ("built-in default" for the night/day detection levels).
  if (!value || *value < 0) return unreadable(defaultValue);
  return {clampToRange(*value, 0.0, maxPvVoltage), {}};
}

Parsed<double> withinRange(double value, double low, double high, const char* name, int decimals,
                           const char* unit) {
  if (value >= low && value <= high) return {value, ""};
  return {std::nullopt, outsideRange(name, fixedPoint(low, decimals), fixedPoint(high, decimals),
                                     shortNumber(value), unit)};
}

Reading<std::int16_t> parseSmallInt(const std::string& text, std::int16_t defaultValue, int low,
                                    int high) {
  const std::optional<double> value = convertNumber(prepareNumberText(text));
  if (!value) return unreadable(defaultValue);
  return {static_cast<std::int16_t>(clampToRange(std::trunc(*value), low, high)), {}};
}

Reading<std::uint16_t> parseDuration(const std::string& text, double maxHours) {
  Reading<std::uint16_t> duration{0, {}};
  long minutes = 0;
  const std::size_t colon = text.find(':');
  if (colon != std::string::npos) {
    Reading<std::int16_t> after = parseSmallInt(text.substr(colon + 1), 0, -1440, 1440);
    minutes = after.value;
    duration.complaints = std::move(after.complaints);
  }
  // The hours end at the colon, which is a stop character.
  const std::optional<double> hours = convertNumber(prepareNumberText(text));
  if (!hours) {
    duration.complaints.push_back(kUnableToInterpret);
    return duration;
  }
  const double h = clampToRange(*hours, 0.0, maxHours);
  long total = minutes + static_cast<long>(truncateDecimal(h * 60));
  // "0:-30" would come to -30 minutes, which as an unsigned duration is 65506 minutes (45 days);
  // a duration cannot be negative, and 0 is what every caller treats as "nothing entered".
  if (total < 0) total = 0;
  duration.value = static_cast<std::uint16_t>(total);
  return duration;
}

Parsed<double> parseHours(const std::string& text, double maxHours) {
  const std::optional<long> minutes = convertHoursText(text);
  if (!minutes) return {std::nullopt, kUnableToInterpret};
  // No time at all in absorption is no limit the charger can work with.
  const long highest = static_cast<long>(maxHours * 60);
  if (*minutes < 1 || *minutes > highest) {
    return {std::nullopt, outsideRange("absorption time limit", hoursAndMinutes(1),
                                       hoursAndMinutes(highest), hoursAndMinutes(*minutes), "")};
  }
  return {*minutes / 60.0, ""};
}

Reading<std::uint8_t> parsePercent(const std::string& text, std::uint8_t defaultValue) {
  const std::string prepared = prepareNumberText(text);
  // Pressing only Enter keeps the offered default without a complaint.
  if (prepared.empty()) return {defaultValue, {}};
  const std::optional<double> value = convertNumber(prepared);
  if (!value) return unreadable(defaultValue);
  return {static_cast<std::uint8_t>(std::trunc(clampToRange(*value, 0.0, 100.0))), {}};
}

}  // namespace sunlink
