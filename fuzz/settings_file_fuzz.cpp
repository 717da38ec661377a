// Arbitrary bytes as a settings file, read the way --upload - reads one from standard input:
// either a clean load or one of the statuses the program reports (29 not readable XML, 94 loading
// failed). What loads must write back out and read back to the same vregs.
#include <boost/property_tree/xml_parser.hpp>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/log.h"
#include "settings/settings_file.h"
#include "settings/xml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sunlink::logVerbosity = 0;  // the error lines are expected; keep the fuzzer's output readable
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  sunlink::VregTable table;
  const int status = sunlink::readSettingsFile(table, "-", out, err, &input);
  if (status != 0) {
    if (status != 29 && status != 94) std::abort();
    return 0;
  }
  // Written back the way --download writes, and read back the way a file is read.
  namespace pt = boost::property_tree;
  std::ostringstream xml;
  pt::write_xml(xml, sunlink::vregsToTree(table),
                pt::xml_writer_make_settings<std::string>(' ', 4, "utf-8"));
  sunlink::VregTable again;
  sunlink::vregsFromTree(sunlink::readXmlDocument(xml.str(), sunlink::maxSettingsFileDepth), again);
  if (again.size() != table.size()) std::abort();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const sunlink::Vreg& a = table.vregs()[i];
    const sunlink::Vreg& b = again.vregs()[i];
    if (a.label != b.label || a.get != b.get || a.set != b.set || a.verify != b.verify ||
        a.value != b.value || a.min != b.min || a.max != b.max)
      std::abort();
  }
  return 0;
}
