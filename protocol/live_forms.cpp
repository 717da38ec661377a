// The JSON object is built with the JSON library, never by hand: the charger's texts must be
// quoted and escaped correctly whatever they hold.

#include "protocol/live_forms.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/shown_text.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// Members in the order they are added, as a reader expects them.
using json = nlohmann::ordered_json;

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

// Floor division, so that a time before 1970 still falls on its own day.
std::int64_t floorDivide(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

std::string clockText(std::int64_t secondsOfDay) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(secondsOfDay / 3600),
                static_cast<int>(secondsOfDay / 60 % 60), static_cast<int>(secondsOfDay % 60));
  return text;
}

// A logfmt value: quoted when a reader would otherwise split it (a blank, "=") or misread it (a
// quote, nothing at all).
std::string logfmtValue(const std::string& value) {
  if (!value.empty() && value.find_first_of(" \"=") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

void appendPair(std::string& line, const char* name, const std::string& value) {
  line += ' ';
  line += name;
  line += '=';
  line += logfmtValue(value);
}

const std::optional<std::int64_t>& get(const LiveValues& values, LiveField field) {
  return values[field];
}

// "13.28 V", "32 W", "0.12 kWh": the value and its unit.
std::string withUnit(LiveField field, std::int64_t value) {
  return liveValueText(field, value) + " " + liveFieldInfo(field).unit;
}

std::string capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// A panel line: its heading in a column of nine, then its parts two blanks apart; empty when it
// has no parts.
std::string panelLine(const char* heading, const std::vector<std::string>& parts) {
  if (parts.empty()) return std::string();
  std::string line = heading;
  line.resize(9, ' ');
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) line += "  ";
    line += parts[i];
  }
  return line;
}

std::string batteryLine(const LiveValues& v) {
  std::vector<std::string> parts;
  if (const auto& volts = get(v, LiveField::batteryV))
    parts.push_back(withUnit(LiveField::batteryV, *volts));
  if (const auto& amps = get(v, LiveField::batteryA))
    parts.push_back((*amps > 0 ? "+" : "") + withUnit(LiveField::batteryA, *amps));
  // The state, and in brackets what the tracker does, unless it is off.
  const auto& state = get(v, LiveField::state);
  const auto& tracker = get(v, LiveField::tracker);
  std::string mode;
  if (state) mode = capitalised(liveValueText(LiveField::state, *state));
  if (tracker && (*tracker != 0 || !state)) {
    const std::string words = liveValueText(LiveField::tracker, *tracker);
    mode = state ? mode + " (" + words + ")" : capitalised(words);
  }
  if (!mode.empty()) parts.push_back(mode);
  return panelLine("Battery", parts);
}

std::string panelPowerLine(const LiveValues& v) {
  std::vector<std::string> parts;
  for (LiveField field : {LiveField::panelV, LiveField::panelW}) {
    if (const auto& value = get(v, field)) parts.push_back(withUnit(field, *value));
  }
  return panelLine("Panel", parts);
}

std::string loadLine(const LiveValues& v) {
  std::vector<std::string> parts;
  if (const auto& load = get(v, LiveField::load))
    parts.push_back(liveValueText(LiveField::load, *load));
  if (const auto& amps = get(v, LiveField::loadA))
    parts.push_back(withUnit(LiveField::loadA, *amps));
  const auto& relay = get(v, LiveField::relay);
  if (parts.empty())
    return relay ? panelLine("Relay", {liveValueText(LiveField::relay, *relay)}) : "";
  if (relay) parts.push_back("relay " + liveValueText(LiveField::relay, *relay));
  return panelLine("Load", parts);
}

std::string errorLine(const LiveValues& v) {
  std::vector<std::string> parts;
  if (const auto& error = get(v, LiveField::error))
    parts.push_back(liveValueText(LiveField::error, *error));
  const auto& reason = get(v, LiveField::offReason);
  if (reason && *reason != 0)
    parts.push_back("off: " + liveValueText(LiveField::offReason, *reason));
  return panelLine("Error", parts);
}

// "today 0.12 kWh (max 45 W)": a day's yield and its highest power, either of them alone.
std::string dayYield(const LiveValues& v, const char* day, LiveField yield, LiveField maxPower) {
  const auto& energy = get(v, yield);
  const auto& power = get(v, maxPower);
  std::string part = day;
  if (energy) part += " " + withUnit(yield, *energy);
  if (power)
    part += (energy ? " (max " : " max ") + withUnit(maxPower, *power) + (energy ? ")" : "");
  return energy || power ? part : std::string();
}

std::string yieldLine(const LiveValues& v) {
  std::vector<std::string> parts;
  for (std::string part :
       {dayYield(v, "today", LiveField::yieldToday, LiveField::maxPowerToday),
        dayYield(v, "yesterday", LiveField::yieldYesterday, LiveField::maxPowerYesterday)}) {
    if (!part.empty()) parts.push_back(part);
  }
  if (const auto& total = get(v, LiveField::yieldTotal))
    parts.push_back("total " + withUnit(LiveField::yieldTotal, *total));
  if (const auto& day = get(v, LiveField::day)) parts.push_back("day " + std::to_string(*day));
  return panelLine("Yield", parts);
}

}  // namespace

std::string utcTimeText(std::chrono::system_clock::time_point at) {
  const std::int64_t seconds =
      std::chrono::floor<std::chrono::seconds>(at.time_since_epoch()).count();
  const std::int64_t days = floorDivide(seconds, kSecondsPerDay);
  const boost::gregorian::date date =
      boost::gregorian::date(1970, 1, 1) + boost::gregorian::days(static_cast<long>(days));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%sZ", static_cast<int>(date.year()),
                static_cast<int>(date.month()), static_cast<int>(date.day()),
                clockText(seconds - days * kSecondsPerDay).c_str());
  return text;
}

std::string liveLogfmtLine(const LiveValues& values, std::chrono::system_clock::time_point at) {
  std::string line = utcTimeText(at);
  for (const LiveFieldInfo& info : liveFields()) {
    if (const auto& value = values[info.field])
      appendPair(line, info.name, liveValueText(info.field, *value));
  }
  if (values.productId) appendPair(line, "product_id", registerIdText(*values.productId));
  if (values.firmware) appendPair(line, "firmware", shownText(firmwareText(*values.firmware)));
  if (values.serial) appendPair(line, "serial", shownText(*values.serial));
  return line;
}

std::string liveJsonObject(const LiveValues& values, std::chrono::system_clock::time_point at) {
  json object = json::object();
  object["time"] = utcTimeText(at);
  if (values.productId) object["product_id"] = registerIdText(*values.productId);
  if (values.firmware) object["firmware"] = firmwareText(*values.firmware);
  if (values.serial) object["serial"] = *values.serial;
  for (const LiveFieldInfo& info : liveFields()) {
    const auto& value = values[info.field];
    if (!value) continue;
    switch (info.kind) {
      case LiveKind::milli:
      case LiveKind::centi:
        object[info.name] = liveValueNumber(info.field, *value);
        break;
      case LiveKind::onOff:
        object[info.name] = *value != 0;
        break;
      default:
        // Codes, masks and whole numbers as integers, so that a script compares them as such.
        object[info.name] = *value;
        break;
    }
    if (info.nameOf != nullptr)
      object[std::string(info.name) + "_name"] = liveValueText(info.field, *value);
  }
  if (!values.other.empty()) {
    json other = json::object();
    for (const auto& pair : values.other) other[pair.first] = pair.second;
    object["other"] = other;
  }
  // Charger text that is not valid UTF-8 gets replacement characters instead of ending the watch.
  return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<std::string> livePanelLines(const LiveValues& values, const std::string& modelName,
                                        std::chrono::seconds timeOfDay) {
  std::string heading;
  const auto addToHeading = [&heading](const std::string& part) {
    if (part.empty()) return;
    if (!heading.empty()) heading += "  ";
    heading += part;
  };
  addToHeading(shownText(modelName));
  if (values.firmware) addToHeading("v" + shownText(firmwareText(*values.firmware)));
  if (values.serial) addToHeading(shownText(*values.serial));
  const std::int64_t seconds = timeOfDay.count();
  addToHeading(clockText(seconds - floorDivide(seconds, kSecondsPerDay) * kSecondsPerDay));

  std::vector<std::string> lines = {heading};
  for (std::string line : {batteryLine(values), panelPowerLine(values), loadLine(values),
                           errorLine(values), yieldLine(values)}) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace sunlink
