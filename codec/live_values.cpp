#include "codec/live_values.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

namespace sunlink {

namespace {

// Words for one code value.
struct CodeWords {
  std::uint32_t code;
  const char* words;
};

const CodeWords kStates[] = {
    {0, "off"},
    {2, "fault"},
    {3, "bulk"},
    {4, "absorption"},
    {5, "float"},
    {7, "equalize"},
    {245, "starting up"},
    {247, "automatic equalize"},
    {252, "external control"},
};

const CodeWords kTrackers[] = {
    {0, "off"},
    {1, "voltage or current limited"},
    {2, "MPP tracker active"},
};

const CodeWords kErrors[] = {
    {0, "none"},
    {2, "battery voltage too high"},
    {17, "charger temperature too high"},
    {18, "charger over current"},
    {19, "charger current reversed"},
    {20, "bulk time limit exceeded"},
    {21, "current sensor issue"},
    {26, "terminals overheated"},
    {28, "converter issue"},
    {33, "panel voltage too high"},
    {34, "panel current too high"},
    {38, "input shutdown (battery voltage too high)"},
    {39, "input shutdown (current during off mode)"},
    {67, "BMS connection lost"},
    {116, "factory calibration lost"},
    {117, "invalid firmware"},
    {119, "user settings invalid"},
};

// The off reason's bits, lowest first.
const CodeWords kOffReasons[] = {
    {0x1, "no input power"},
    {0x2, "switched off by its power switch"},
    {0x4, "switched off by its device mode"},
    {0x8, "remote input"},
    {0x10, "protection active"},
    {0x40, "BMS"},
    {0x80, "engine shutdown detection"},
    {0x100, "analysing input voltage"},
};

template <std::size_t N>
std::string wordsFor(const CodeWords (&table)[N], std::uint32_t code, const char* kind) {
  for (const CodeWords& entry : table) {
    if (entry.code == code) return entry.words;
  }
  return std::string(kind) + " " + std::to_string(code);
}

constexpr std::array<LiveFieldInfo, kLiveFieldCount> kFields = {{
    {LiveField::batteryV, "V", "battery_v", "V", LiveKind::milli, false, nullptr},
    {LiveField::batteryA, "I", "battery_a", "A", LiveKind::milli, true, nullptr},
    {LiveField::panelV, "VPV", "panel_v", "V", LiveKind::milli, false, nullptr},
    {LiveField::panelW, "PPV", "panel_w", "W", LiveKind::whole, false, nullptr},
    {LiveField::load, "LOAD", "load", "", LiveKind::onOff, false, nullptr},
    {LiveField::loadA, "IL", "load_a", "A", LiveKind::milli, false, nullptr},
    {LiveField::relay, "Relay", "relay", "", LiveKind::onOff, false, nullptr},
    {LiveField::state, "CS", "state", "", LiveKind::code, false, stateName},
    {LiveField::tracker, "MPPT", "tracker", "", LiveKind::code, false, trackerName},
    {LiveField::error, "ERR", "error", "", LiveKind::code, false, errorName},
    {LiveField::offReason, "OR", "off_reason", "", LiveKind::mask, false, offReasonName},
    {LiveField::yieldTotal, "H19", "yield_total_kwh", "kWh", LiveKind::centi, false, nullptr},
    {LiveField::yieldToday, "H20", "yield_today_kwh", "kWh", LiveKind::centi, false, nullptr},
    {LiveField::yieldYesterday, "H22", "yield_yesterday_kwh", "kWh", LiveKind::centi, false,
     nullptr},
    {LiveField::maxPowerToday, "H21", "max_power_today_w", "W", LiveKind::whole, false, nullptr},
    {LiveField::maxPowerYesterday, "H23", "max_power_yesterday_w", "W", LiveKind::whole, false,
     nullptr},
    {LiveField::day, "HSDS", "day", "", LiveKind::whole, false, nullptr},
}};

// liveFieldInfo finds a field's row by its place in the table.
constexpr bool rowsInFieldOrder() {
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (kFields[i].field != static_cast<LiveField>(i)) return false;
  }
  return true;
}
static_assert(rowsInFieldOrder(), "kFields must list the fields in LiveField order");

// The charger's registers behind these values are at most 32 bits wide: a longer number is a
// damaged one, not a reading.
constexpr std::int64_t kSignedMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kSignedMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUnsignedMax = std::numeric_limits<std::uint32_t>::max();

// The whole text as one number in the given base, or none. from_chars takes no blanks and no
// "+", and a "-" only into a signed type; the range check keeps 32 bits.
std::optional<std::int64_t> wholeNumber(std::string_view text, int base, bool isSigned) {
  if (text.empty() || (text.front() == '-' && !isSigned)) return std::nullopt;
  std::int64_t number = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, number, base);
  if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
  if (isSigned ? (number < kSignedMin || number > kSignedMax) : number > kUnsignedMax)
    return std::nullopt;
  return number;
}

// "0x" (or "0X") and hex digits, as the charger writes its product id and masks.
std::optional<std::int64_t> hexNumber(std::string_view text) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  return wholeNumber(text.substr(2), 16, false);
}

bool equalsIgnoringCase(std::string_view text, const char* word) {
  if (text.size() != std::strlen(word)) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return true;
}

std::optional<std::int64_t> valueOf(const LiveFieldInfo& info, std::string_view text) {
  switch (info.kind) {
    case LiveKind::onOff:
      if (equalsIgnoringCase(text, "ON")) return 1;
      if (equalsIgnoringCase(text, "OFF")) return 0;
      return std::nullopt;
    case LiveKind::mask:
      return hexNumber(text);
    default:
      return wholeNumber(text, 10, info.isSigned);
  }
}

std::optional<std::string> textOf(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

// value / 10^decimals as exact decimal text, with at least minDecimals decimals: trailing zeros
// past those are dropped, so 13280 mV reads 13.28 and 13285 mV 13.285.
std::string decimalText(std::int64_t value, int decimals, int minDecimals) {
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  // 32-bit values only, so the magnitude always fits.
  const std::uint64_t magnitude = value < 0 ? static_cast<std::uint64_t>(-value) : value;
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%0*llu", value < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / scale), decimals,
                static_cast<unsigned long long>(magnitude % scale));
  std::string out = text;
  for (int shown = decimals; shown > minDecimals && out.back() == '0'; --shown) out.pop_back();
  return out;
}

}  // namespace

const std::array<LiveFieldInfo, kLiveFieldCount>& liveFields() { return kFields; }

bool LiveDecoder::feed(std::string_view label, std::string_view value) {
  if (blockDone_) {
    // A new block: nothing of the last one carries over. clear() keeps the storage for the next.
    values_.productId.reset();
    values_.firmware.reset();
    values_.serial.reset();
    for (auto& field : values_.values) field.reset();
    values_.other.clear();
    blockDone_ = false;
  }
  if (label == "Checksum") {
    blockDone_ = true;
    return true;
  }
  if (label == "PID") {
    const std::optional<std::int64_t> id = hexNumber(value);
    if (id && *id <= 0xFFFF)
      values_.productId = static_cast<std::uint16_t>(*id);
    else
      values_.productId.reset();
    return false;
  }
  if (label == "FW") {
    values_.firmware = textOf(value);
    return false;
  }
  if (label == "SER#") {
    values_.serial = textOf(value);
    return false;
  }
  for (const LiveFieldInfo& info : kFields) {
    if (label == info.label) {
      values_[info.field] = valueOf(info, value);
      return false;
    }
  }
  for (auto& pair : values_.other) {
    if (pair.first == label) {
      pair.second.assign(value);
      return false;
    }
  }
  values_.other.emplace_back(std::string(label), std::string(value));
  return false;
}

std::string stateName(std::uint32_t code) { return wordsFor(kStates, code, "state"); }

std::string trackerName(std::uint32_t code) { return wordsFor(kTrackers, code, "tracker"); }

std::string errorName(std::uint32_t code) { return wordsFor(kErrors, code, "error"); }

std::string offReasonName(std::uint32_t mask) {
  if (mask == 0) return "none";
  std::string names;
  for (int bit = 0; bit < 32; ++bit) {
    const std::uint32_t value = std::uint32_t{1} << bit;
    if ((mask & value) == 0) continue;
    if (!names.empty()) names += ", ";
    const char* words = nullptr;
    for (const CodeWords& entry : kOffReasons) {
      if (entry.code == value) words = entry.words;
    }
    if (words != nullptr) {
      names += words;
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(value));
      names += hex;
    }
  }
  return names;
}

std::string liveValueText(LiveField field, std::int64_t value) {
  const LiveFieldInfo& info = liveFieldInfo(field);
  switch (info.kind) {
    case LiveKind::milli:
      return decimalText(value, 3, 2);
    case LiveKind::centi:
      return decimalText(value, 2, 2);
    case LiveKind::onOff:
      return value != 0 ? "on" : "off";
    case LiveKind::code:
    case LiveKind::mask:
      return info.nameOf(static_cast<std::uint32_t>(value));
    default:
      return std::to_string(value);
  }
}

double liveValueNumber(LiveField field, std::int64_t value) {
  switch (liveFieldInfo(field).kind) {
    case LiveKind::milli:
      return static_cast<double>(value) / 1000;
    case LiveKind::centi:
      return static_cast<double>(value) / 100;
    default:
      return static_cast<double>(value);
  }
}

std::string firmwareText(const std::string& firmware) {
  const std::size_t n = firmware.size();
  if (n < 3) return firmware;
  return firmware.substr(0, n - 2) + "." + firmware.substr(n - 2);
}

}  // namespace sunlink
