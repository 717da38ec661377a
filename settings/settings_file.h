// The XML settings file and the vreg definition documents.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <ostream>
#include <string>

#include "settings/vreg_table.h"

namespace sunlink {

// The vreg definition document carried in the program (56 vregs).
extern const char* const embeddedDefaults;

// Pushes the vregs under "qmx.vregs" of tree (or of the embedded document when tree has none).
// Throws what push throws, and the property tree's error for a vreg element without attributes.
void vregsFromTree(const boost::property_tree::ptree& tree, VregTable& table);
boost::property_tree::ptree vregsToTree(const VregTable& table);

// Empties the table and loads the file. 0 success; 29 the file is not readable XML (error line
// logged); 94 loading failed ("Reading settings failed" on err).
int readSettingsFile(VregTable& table, const std::string& path, std::ostream& out,
                     std::ostream& err);
// Writes the table to the file, replacing it atomically. 0 success; 95 ("Writing settings failed"
// on err).
int writeSettingsFile(const VregTable& table, const std::string& path, std::ostream& out,
                      std::ostream& err);

}  // namespace sunlink
