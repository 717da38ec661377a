// Arbitrary XML into the setting table, the way a settings file is read: either a clean load or
// one of the failures the program reports (property tree errors, settings_error). What loads must
// write back out and read back to the same vregs.
#include <boost/property_tree/xml_parser.hpp>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/errors.h"
#include "app/log.h"
#include "settings/settings_file.h"

namespace pt = boost::property_tree;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sunlink::logVerbosity = 0;  // the error lines are expected; keep the fuzzer's output readable
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find("<<<<<<<<<<<<<<<<") != std::string::npos) return 0;  // deep nesting: refused by size check in the program
  sunlink::VregTable table;
  try {
    std::istringstream in(text);
    pt::ptree tree;
    pt::read_xml(in, tree, pt::xml_parser::trim_whitespace);
    sunlink::vregsFromTree(tree, table);
  } catch (const pt::ptree_error&) {
    return 0;
  } catch (const sunlink::settings_error&) {
    return 0;
  }
  std::ostringstream out;
  pt::write_xml(out, sunlink::vregsToTree(table),
                pt::xml_writer_make_settings<std::string>(' ', 4, "utf-8"));
  sunlink::VregTable again;
  std::istringstream back(out.str());
  pt::ptree tree;
  pt::read_xml(back, tree, pt::xml_parser::trim_whitespace);
  sunlink::vregsFromTree(tree, again);
  if (again.size() != table.size()) std::abort();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const sunlink::Vreg& a = table.vregs()[i];
    const sunlink::Vreg& b = again.vregs()[i];
    if (a.label != b.label || a.get != b.get || a.set != b.set || a.verify != b.verify)
      std::abort();
  }
  return 0;
}
