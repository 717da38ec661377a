// The vreg definition format: a `qmx` root holding `vregs`, holding one attribute-only `vreg`
// element per Vreg, in table order.
#include <boost/property_tree/xml_parser.hpp>
#include <cstdio>
#include <sstream>
#include <utility>

#include "app/log.h"
#include "settings/settings_file.h"

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

std::string registerText(std::uint32_t id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(id));
  return buffer;
}

void addAttribute(pt::ptree& attributes, const char* name, const std::string& text) {
  attributes.push_back(std::make_pair(name, pt::ptree(text)));
}

}  // namespace

void vregsFromTree(const pt::ptree& tree, VregTable& table) {
  boost::optional<const pt::ptree&> list = tree.get_child_optional("qmx.vregs");
  pt::ptree defaults;
  if (!list) {
    logInfo("settings", "xml file: does not contain settings, using defaults");
    std::istringstream in(embeddedDefaults);
    pt::read_xml(in, defaults);
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

pt::ptree vregsToTree(const VregTable& table) {
  pt::ptree list;
  for (const Vreg& vreg : table.vregs()) {
    pt::ptree attributes;
    if (!vreg.label.empty()) addAttribute(attributes, "label", vreg.label);
    if (!vreg.minver.empty()) addAttribute(attributes, "minver", vreg.minver);
    if (!vreg.maxver.empty()) addAttribute(attributes, "maxver", vreg.maxver);
    if (vreg.get != REG_NONE) addAttribute(attributes, "get", registerText(vreg.get));
    if (vreg.set != REG_NONE) addAttribute(attributes, "set", registerText(vreg.set));
    if (vreg.verify != REG_NONE) addAttribute(attributes, "verify", registerText(vreg.verify));
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
  return tree;
}

}  // namespace sunlink
