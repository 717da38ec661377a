// The identity a settings file records of the charger it was downloaded from, so that an upload can
// tell a backup of another model or another system voltage before it writes anything.
//
// In the document it is one attribute-only element beside the vreg list:
//   <qmx>
//       <vregs>...</vregs>
//       <identity product_id="0xA042" model="MPPT 75/15" firmware="1.15" system_voltage="12"
//                 serial="HQ1234ABCDE" day="2026-12-09" chgtune="1.17"/>
//   </qmx>
// Files of earlier versions lack it, and readers that do not know it pass over it.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sunlink {

struct FileIdentity {
  std::uint16_t productId = 0xFFFF;
  // The charger's texts (model, firmware, serial) go into a file through storedText, and come back
  // as the file holds them.
  std::string model;     // the model name
  std::string firmware;  // "1.15"
  int systemVoltage = 0;
  std::string serial;   // from the charger's TEXT blocks; empty when none came (left out)
  std::string day;      // the UTC day of the download, "2026-12-09"
  std::string version;  // chgtune's
};

// A charger's text as a settings file keeps it: printable UTF-8 passes unchanged; every other byte
// (control characters, tab and line ends included, the C1 controls, bytes that are not valid
// UTF-8, and the two code points XML does not allow, U+FFFE and U+FFFF) becomes \xNN, so that
// whatever a charger sends, the backup stays well-formed XML.
std::string storedText(std::string_view text);

// The UTC day of now as "YYYY-MM-DD".
std::string utcDay();

// Puts the identity element at "qmx.identity" of tree (after what tree already holds under qmx).
void identityToTree(const FileIdentity& identity, boost::property_tree::ptree& tree);
// The identity element of a document; none when the document has none. Throws
// std::runtime_error naming the attribute when the element is there but its product id or system
// voltage cannot be read: an upload cannot judge a file whose identity it cannot read.
std::optional<FileIdentity> identityFromTree(const boost::property_tree::ptree& tree);

}  // namespace sunlink
