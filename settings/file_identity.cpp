#include "settings/file_identity.h"

#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "base/shown_text.h"
#include "settings/settings_file.h"

namespace sunlink {

namespace pt = boost::property_tree;

namespace {

std::string hexEscape(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
  return text;
}

// shownText, with the line ends and tabs it writes as \n, \r, \t escaped by number like every
// other control character, and with U+FFFE and U+FFFF (valid UTF-8, but no XML character)
// escaped too.
std::string storedPart(std::string_view text) {
  const std::string shown = shownText(text);
  std::string out;
  out.reserve(shown.size());
  for (std::size_t at = 0; at < shown.size(); ++at) {
    const auto c = static_cast<unsigned char>(shown[at]);
    const bool nonCharacter = c == 0xEF && at + 2 < shown.size() &&
                              static_cast<unsigned char>(shown[at + 1]) == 0xBF &&
                              (static_cast<unsigned char>(shown[at + 2]) & 0xFE) == 0xBE;
    if (!nonCharacter) {
      out += shown[at];
      continue;
    }
    for (int i = 0; i < 3; ++i) out += hexEscape(static_cast<unsigned char>(shown[at + i]));
    at += 2;
  }
  return out;
}

// The whole text as a number of the given base, or none.
std::optional<unsigned long> wholeNumber(const std::string& text, int base) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  for (char c : text) {
    const bool digit =
        base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : c >= '0' && c <= '9';
    if (!digit) return std::nullopt;
  }
  return std::stoul(text, nullptr, base);
}

}  // namespace

std::string storedText(std::string_view text) {
  // shownText writes a line end, carriage return and tab as \n, \r and \t; a stored text names
  // every byte it escapes by number, so they are taken out before and escaped here.
  std::string out;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] != '\n' && text[at] != '\r' && text[at] != '\t') continue;
    out += storedPart(text.substr(start, at - start));
    if (at < text.size()) out += hexEscape(static_cast<unsigned char>(text[at]));
    start = at + 1;
  }
  return out;
}

std::string utcDay() {
  const std::time_t now = std::time(nullptr);
  // Main thread only, like every caller of the settings file: gmtime's buffer is not shared.
  const std::tm* day = std::gmtime(&now);
  char text[16] = "";
  if (day != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d", day);
  return text;
}

void identityToTree(const FileIdentity& identity, pt::ptree& tree) {
  char productId[16];
  std::snprintf(productId, sizeof productId, "0x%04X", static_cast<unsigned>(identity.productId));
  pt::ptree attributes;
  addAttribute(attributes, "product_id", productId);
  addAttribute(attributes, "model", storedText(identity.model));
  addAttribute(attributes, "firmware", storedText(identity.firmware));
  addAttribute(attributes, "system_voltage", std::to_string(identity.systemVoltage));
  if (!identity.serial.empty()) addAttribute(attributes, "serial", storedText(identity.serial));
  addAttribute(attributes, "day", identity.day);
  addAttribute(attributes, "chgtune", identity.version);
  pt::ptree element;
  element.push_back(std::make_pair("<xmlattr>", attributes));
  tree.get_child("qmx").push_back(std::make_pair("identity", element));
}

std::optional<FileIdentity> identityFromTree(const pt::ptree& tree) {
  const boost::optional<const pt::ptree&> attributes =
      tree.get_child_optional("qmx.identity.<xmlattr>");
  if (!attributes) {
    if (tree.get_child_optional("qmx.identity"))
      throw std::runtime_error("the identity element holds no attributes");
    return std::nullopt;
  }
  FileIdentity identity;
  const std::string productId = attributes->get<std::string>("product_id", "");
  const std::optional<unsigned long> id =
      productId.compare(0, 2, "0x") == 0 ? wholeNumber(productId.substr(2), 16) : std::nullopt;
  if (!id || *id > 0xFFFF)
    throw std::runtime_error("identity: product_id \"" + shownText(productId) +
                             "\" is not a product id (0x and 1 to 4 hex digits)");
  identity.productId = static_cast<std::uint16_t>(*id);
  const std::string voltage = attributes->get<std::string>("system_voltage", "");
  const std::optional<unsigned long> volts = wholeNumber(voltage, 10);
  if (!volts || *volts == 0 || *volts > 96)
    throw std::runtime_error("identity: system_voltage \"" + shownText(voltage) +
                             "\" is not a system voltage");
  identity.systemVoltage = static_cast<int>(*volts);
  identity.model = attributes->get<std::string>("model", "");
  identity.firmware = attributes->get<std::string>("firmware", "");
  identity.serial = attributes->get<std::string>("serial", "");
  identity.day = attributes->get<std::string>("day", "");
  identity.version = attributes->get<std::string>("chgtune", "");
  return identity;
}

}  // namespace sunlink
