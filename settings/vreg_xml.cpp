// The vreg definition format: a `qmx` root holding `vregs`, holding one attribute-only `vreg`
// element per Vreg, in table order.
#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/log.h"
#include "settings/file_identity.h"
#include "settings/settings_file.h"
#include "settings/xml_reader.h"

namespace sunlink {

namespace pt = boost::property_tree;

namespace {

void applyAttribute(Vreg& vreg, const std::string& name, const std::string& text) {
  if (name == "label") {
    vreg.label = text;
  } else if (name == "group") {
    vreg.group = text;
  } else if (name == "minver") {
    vreg.minver = text;
  } else if (name == "maxver") {
    vreg.maxver = text;
  } else if (name == "get") {
    vreg.get = parseRegisterId(text);
  } else if (name == "set") {
    vreg.set = parseRegisterId(text);
  } else if (name == "verify") {
    vreg.verify = parseRegisterId(text);
  } else if (name == "value") {
    vreg.value = normaliseValue(text);
    vreg.status = VREG_OK;
  } else if (name == "min") {
    vreg.min = normaliseValue(text);
  } else if (name == "max") {
    vreg.max = normaliseValue(text);
  } else if (name == "productids") {
    vreg.productids = text;
  } else if (name == "auto_bat") {
    vreg.auto_bat = text;
  } else {
    // Any other attribute names a group whose recorded value must hold this mask. The status word
    // of a settings file lands here too; no definition tests a group called status.
    vreg.conditions[name] = normaliseValue(text);
  }
}

// --- Reading a settings file strictly ------------------------------------------------------------

// The attributes whose text goes to the charger, and the forms a settings file may hold them in:
// the writer's own ("0x" and upper-case digits), hexadecimal digits of either case, and decimal
// numbers as hand-written files have them. Nothing else: leniency here once turned a mistyped
// "OxEDF7" into register 0x0000 and "-5" into a byte 00 written to the charger.
struct StrictForm {
  const char* attribute;
  std::size_t maxHexDigits;
  std::uint32_t maxNumber;  // the largest the attribute may be, in either form
  const char* expected;
};
const char kIdForm[] = "a register id (0x and 1 to 4 hex digits, or decimal up to 65535)";
const char kValueForm[] = "a value (0x and 1 to 8 hex digits, or decimal up to 4294967295)";
const StrictForm kStrictForms[] = {
    {"get", 4, 0xFFFF, kIdForm},        {"set", 4, 0xFFFF, kIdForm},
    {"verify", 4, 0xFFFF, kIdForm},     {"value", 8, 0xFFFFFFFF, kValueForm},
    {"min", 8, 0xFFFFFFFF, kValueForm}, {"max", 8, 0xFFFFFFFF, kValueForm},
};

// All of text from `from` on is digits of base (either case), and at least one.
bool allDigits(const std::string& text, std::size_t from, int base) {
  if (text.size() <= from) return false;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!(decimal || (base == 16 && hex))) return false;
  }
  return true;
}

// No blanks, signs or other prefixes ("0X" included): what is refused here would otherwise be
// read as some other number than the one the user meant.
bool hasForm(const std::string& text, const StrictForm& form) {
  if (text.compare(0, 2, "0x") == 0)
    return text.size() <= 2 + form.maxHexDigits && allDigits(text, 2, 16);
  if (!allDigits(text, 0, 10)) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > form.maxNumber) return false;
  }
  return true;
}

// A text of the file as a message shows it: quoted, at most 24 characters, anything unprintable
// as \xNN, so that a huge or binary attribute cannot flood or garble the user's terminal.
std::string quoted(const std::string& text) {
  const std::size_t shown = std::min<std::size_t>(text.size(), 24);
  std::string result = "\"";
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      result += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
      result += escaped;
    }
  }
  result += '"';
  if (shown < text.size()) result += "... (" + std::to_string(text.size()) + " characters)";
  return result;
}

const std::int32_t kStatuses[] = {VREG_OK,           VREG_SKIPPED,     VREG_UNKNOWN,
                                  VREG_GET_FAILED,   VREG_SET_FAILED,  VREG_VERIFY_ERROR,
                                  VREG_LIMIT_FAILED, VREG_CONFIG_ERROR};

// The status that a vreg's status word makes it keep after loading, or VREG_OK when its value (if
// any) is one to write: a setting the download did not read from the charger carries only a
// placeholder, and writing it would change the charger (the preset battery-voltage setting of
// firmware 1.09 to 1.11 is 00, "detect at power-up"). A value out of limits was read, and goes
// back.
std::int32_t statusKept(std::int32_t status) {
  switch (status) {
    case VREG_SKIPPED:
    case VREG_UNKNOWN:
    case VREG_GET_FAILED:
    case VREG_CONFIG_ERROR:
      return status;
    default:
      return VREG_OK;
  }
}

// Checks one vreg element's attributes; returns the status it keeps.
std::int32_t checkVreg(const pt::ptree& element, std::size_t position) {
  const boost::optional<const pt::ptree&> attributes = element.get_child_optional("<xmlattr>");
  if (!attributes) return VREG_OK;  // vregsFromTree refuses it with the reader's own message
  const boost::optional<std::string> label = attributes->get_optional<std::string>("label");
  const std::string name =
      label ? "vreg " + quoted(*label) : "vreg number " + std::to_string(position);
  std::int32_t kept = VREG_OK;
  for (const auto& attribute : *attributes) {
    const std::string& text = attribute.second.data();
    for (const StrictForm& form : kStrictForms) {
      if (attribute.first == form.attribute && !hasForm(text, form)) {
        throw std::runtime_error(name + ": " + form.attribute + " " + quoted(text) + " is not " +
                                 form.expected);
      }
    }
    if (attribute.first == "status") {
      bool known = false;
      for (std::int32_t status : kStatuses) {
        if (text == vregStatusWord(status)) {
          known = true;
          kept = statusKept(status);
        }
      }
      if (!known) {
        throw std::runtime_error(name + ": status " + quoted(text) +
                                 " is not a status word (ok, skipped, unknown, get_failed, "
                                 "set_failed, verify_error, limit_failed, config_error)");
      }
    }
  }
  return kept;
}

}  // namespace

void addAttribute(pt::ptree& attributes, const char* name, const std::string& text) {
  attributes.push_back(std::make_pair(name, pt::ptree(text)));
}

void vregsFromTree(const pt::ptree& tree, VregTable& table) {
  boost::optional<const pt::ptree&> list = tree.get_child_optional("qmx.vregs");
  pt::ptree defaults;
  if (!list) {
    logInfo("settings", "xml file: does not contain settings, using defaults");
    defaults = readXmlDocument(embeddedDefaults, maxSettingsFileDepth);
    list = defaults.get_child_optional("qmx.vregs");
  }
  if (!list) {
    logError("settings", "No settings found... not even the defaults!!??");
    return;
  }
  for (const auto& child : *list) {
    if (child.first != "vreg") continue;
    Vreg vreg;
    // Throws "No such node (<xmlattr>)" for an element without attributes: a vreg that names
    // nothing cannot be loaded, and the caller reports the file as unusable.
    const pt::ptree& attributes = child.second.get_child("<xmlattr>");
    for (const auto& attribute : attributes)
      applyAttribute(vreg, attribute.first, attribute.second.data());
    table.push(vreg);
  }
}

void settingsFromTree(const pt::ptree& tree, VregTable& table) {
  const boost::optional<const pt::ptree&> list = tree.get_child_optional("qmx.vregs");
  if (!list) throw std::runtime_error("no vreg list (qmx holding vregs), not a settings file");
  std::vector<std::int32_t> kept;  // per vreg element, in the order vregsFromTree pushes them
  for (const auto& child : *list) {
    if (child.first == "vreg") kept.push_back(checkVreg(child.second, kept.size() + 1));
  }
  if (kept.empty()) throw std::runtime_error("the vreg list is empty, not a settings file");

  const std::size_t first = table.size();
  vregsFromTree(tree, table);
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] != VREG_OK) table.vregs()[first + i].status = kept[i];
  }
}

pt::ptree vregsToTree(const VregTable& table) {
  pt::ptree list;
  for (const Vreg& vreg : table.vregs()) {
    pt::ptree attributes;
    if (!vreg.label.empty()) addAttribute(attributes, "label", vreg.label);
    if (!vreg.minver.empty()) addAttribute(attributes, "minver", vreg.minver);
    if (!vreg.maxver.empty()) addAttribute(attributes, "maxver", vreg.maxver);
    if (vreg.get != REG_NONE) addAttribute(attributes, "get", registerIdText(vreg.get));
    if (vreg.set != REG_NONE) addAttribute(attributes, "set", registerIdText(vreg.set));
    if (vreg.verify != REG_NONE) addAttribute(attributes, "verify", registerIdText(vreg.verify));
    if (!vreg.value.empty()) addAttribute(attributes, "value", "0x" + vreg.value);
    if (!vreg.min.empty()) addAttribute(attributes, "min", "0x" + vreg.min);
    if (!vreg.max.empty()) addAttribute(attributes, "max", "0x" + vreg.max);
    if (const char* word = vregStatusWord(vreg.status)) addAttribute(attributes, "status", word);
    pt::ptree node;
    node.push_back(std::make_pair("<xmlattr>", attributes));
    list.push_back(std::make_pair("vreg", node));
  }
  pt::ptree tree;
  tree.add_child("qmx.vregs", list);
  if (table.identity) identityToTree(*table.identity, tree);
  return tree;
}

}  // namespace sunlink
