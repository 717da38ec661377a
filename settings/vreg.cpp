#include "settings/vreg.h"

#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

#include "base/log.h"

namespace sunlink {

namespace {

// Digit value in bases up to 16, either case; -1 for anything else.
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading digits of text from pos in base, either case, saturating at 0xFFFFFFFF (overflow then
// tells so); none gives 0.
std::uint32_t leadingDigits(const std::string& text, std::size_t pos, int base,
                            bool* overflow = nullptr) {
  const char* end = text.data() + text.size();
  std::uint32_t v = 0;
  const auto read = std::from_chars(text.data() + std::min(pos, text.size()), end, v, base);
  const bool over = read.ec == std::errc::result_out_of_range;
  if (overflow) *overflow = over;
  return over ? 0xFFFFFFFFu : v;
}

// The byte that ends `end` digits into text (pairs are taken from the end, so a text of odd
// length contributes its first digit alone as the top byte). Digits up to an unfit character
// count; none gives 0.
std::uint8_t pairBefore(const std::string& text, std::ptrdiff_t end) {
  if (end <= 0) return 0;
  const std::ptrdiff_t begin = end >= 2 ? end - 2 : 0;
  unsigned v = 0;
  std::from_chars(text.data() + begin, text.data() + end, v, 16);
  return static_cast<std::uint8_t>(v);
}

// Bytes of a value text by its length: 2 digits one byte, 8 digits four, anything else two.
int valueWidth(const std::string& value) {
  return value.size() == 2 ? 1 : value.size() == 8 ? 4 : 2;
}

}  // namespace

const char* vregStatusWord(std::int32_t status) {
  switch (status) {
    case VREG_OK:
      return "ok";
    case VREG_SKIPPED:
      return "skipped";
    case VREG_UNKNOWN:
      return "unknown";
    case VREG_GET_FAILED:
      return "get_failed";
    case VREG_SET_FAILED:
      return "set_failed";
    case VREG_VERIFY_ERROR:
      return "verify_error";
    case VREG_LIMIT_FAILED:
      return "limit_failed";
    case VREG_CONFIG_ERROR:
      return "config_error";
    default:
      return nullptr;
  }
}

Vreg::Vreg(std::string label, std::uint32_t get, std::uint32_t set, double scale)
    : label(std::move(label)), get(get), set(set), scale(scale) {}

std::uint32_t valueBytes(const std::string& text, int n) {
  if (n < 1) n = 1;
  if (n > 4) n = 4;
  const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(text.size());
  std::uint32_t bytes = 0;
  for (int k = 0; k < n; ++k) {
    bytes |= static_cast<std::uint32_t>(pairBefore(text, length - 2 * k)) << (8 * k);
  }
  return bytes;
}

void appendHexByte(std::string& text, std::uint8_t byte) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  text.push_back(kHexDigits[byte >> 4]);
  text.push_back(kHexDigits[byte & 0x0F]);
}

std::uint32_t Vreg::hexToBytes(int n) const { return valueBytes(value, n); }

void Vreg::bytesToHex(std::uint32_t bytes, int n) {
  if (n < 1) n = 1;
  if (n > 4) n = 4;
  std::string text;
  text.reserve(static_cast<std::size_t>(2 * n));
  for (int k = n - 1; k >= 0; --k) {
    const unsigned byte = (bytes >> (8 * k)) & 0xFF;
    appendHexByte(text, static_cast<std::uint8_t>(byte));
  }
  value = std::move(text);
}

std::uint8_t Vreg::getU8() const { return static_cast<std::uint8_t>(hexToBytes(1)); }
std::uint16_t Vreg::getU16() const { return static_cast<std::uint16_t>(hexToBytes(2)); }
std::uint32_t Vreg::getU32() const { return hexToBytes(4); }
void Vreg::setU8(std::uint8_t v) { bytesToHex(v, 1); }
void Vreg::setU16(std::uint16_t v) { bytesToHex(v, 2); }
void Vreg::setU32(std::uint32_t v) { bytesToHex(v, 4); }

double Vreg::getNumber() const {
  const int width = valueWidth(value);
  const std::uint32_t bytes = hexToBytes(width);
  const double raw =
      width == 2 && isSigned ? static_cast<std::int16_t>(bytes) : static_cast<double>(bytes);
  return raw / scale;
}

void Vreg::setNumber(double x) {
  double product = x * scale;
  // The user typed a decimal number; its binary approximation may lie just below it (14.35 * 100
  // is 1434.9999999999998). Rounding to six decimals first removes that error, so truncation cuts
  // only digits the user really typed (14.355 still gives 1435). Beyond 1e15 a double holds no
  // fraction anyway, and multiplying could overflow.
  if (std::fabs(product) < 1e15) product = std::round(product * 1e6) / 1e6;
  product = std::trunc(product);
  std::int64_t raw = 0;
  if (std::isnan(product))
    raw = 0;
  else if (product >= 9.2e18)
    raw = std::numeric_limits<std::int64_t>::max();
  else if (product <= -9.2e18)
    raw = std::numeric_limits<std::int64_t>::min();
  else
    raw = static_cast<std::int64_t>(product);
  // Two's complement in the width the value already has.
  bytesToHex(static_cast<std::uint32_t>(static_cast<std::uint64_t>(raw)), valueWidth(value));
}

std::uint32_t readNumber(const std::string& text, int base) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const bool prefixed = pos + 2 < text.size() && text[pos] == '0' &&
                        (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
                        digitValue(text[pos + 2]) >= 0;
  if ((base == 0 || base == 16) && prefixed) {
    base = 16;
    pos += 2;
  } else if (base == 0) {
    base = pos < text.size() && text[pos] == '0' ? 8 : 10;
  }
  bool overflow = false;
  const std::uint32_t v = leadingDigits(text, pos, base, &overflow);
  if (overflow) return v;
  return negative ? static_cast<std::uint32_t>(0u - v) : v;
}

bool isWireReady(const std::string& text) {
  if (text.size() % 2 != 0) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

std::string normaliseValue(const std::string& text) {
  if (text.compare(0, 2, "0x") == 0) {
    // A hand-written 0x05a0 is the 05A0 the program writes and the charger answers.
    std::string digits = text.substr(2);
    for (char& c : digits) {
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return digits;
  }
  const std::uint32_t v = leadingDigits(text, 0, 10);
  char buffer[16];
  if (v <= 0xFF)
    std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned>(v));
  else if (v <= 0xFFFF)
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(v));
  else
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(v));
  return buffer;
}

std::uint32_t parseRegisterId(const std::string& text) {
  const bool hex = text.compare(0, 2, "0x") == 0;
  return leadingDigits(text, hex ? 2 : 0, hex ? 16 : 10);
}

std::int32_t parseVersion(const std::string& text) {
  if (text.empty() || text == "0") return 0;
  std::vector<std::string> fields;
  boost::split(fields, text, boost::is_any_of("\t .vV"), boost::token_compress_on);
  if (fields.size() == 2) {
    const std::uint32_t major = readNumber(fields[0], 16);
    const std::uint32_t minor = readNumber(fields[1], 16);
    if (major <= 0xFF && minor <= 0xFF) return static_cast<std::int32_t>(major * 256 + minor);
  }
  logError("settings", "The version string \"%s\" is formatted incorrectly", text.c_str());
  return -1;
}

bool matchProductIds(std::uint16_t productId, const std::string& productids) {
  std::vector<std::string> fields;
  boost::split(fields, productids, boost::is_any_of(","), boost::token_compress_on);
  for (const std::string& field : fields) {
    const std::size_t colon = field.find(':');
    if (colon != std::string::npos) {
      const auto low = static_cast<std::uint16_t>(readNumber(field.substr(0, colon), 0));
      const auto high = static_cast<std::uint16_t>(readNumber(field.substr(colon + 1), 0));
      if (low <= productId && productId <= high) return true;
    } else if (static_cast<std::uint16_t>(readNumber(field, 0)) == productId) {
      return true;
    }
  }
  return false;
}

bool conditionsHold(const Vreg& vreg, const std::map<std::string, std::string>& groupValues) {
  for (const auto& condition : vreg.conditions) {
    const auto recorded = groupValues.find(condition.first);
    if (recorded == groupValues.end()) return false;
    const std::uint32_t mask = readNumber(condition.second, 16);
    if ((readNumber(recorded->second, 16) & mask) != mask) return false;
  }
  return true;
}

std::string reverseBytePairs(const std::string& hex) {
  const std::string even = hex.size() % 2 != 0 ? "0" + hex : hex;
  std::string reversed;
  reversed.reserve(even.size());
  for (std::size_t end = even.size(); end >= 2; end -= 2) reversed.append(even, end - 2, 2);
  return reversed;
}

}  // namespace sunlink
