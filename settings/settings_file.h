// The XML settings file and the vreg definition documents.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
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

// A settings file holds one charger's few dozen settings in a few KiB. Larger files, and elements
// nested deeper than any vreg document needs (the XML reader descends recursively and would run
// out of stack), are refused before they are parsed.
constexpr std::size_t maxSettingsFileBytes = 1024 * 1024;
constexpr int maxSettingsFileDepth = 64;

// Empties the table and loads the file. 0 success; 29 the file is not readable XML (error line
// logged; the caller ends the program with it); 94 loading failed ("Reading settings failed" on
// err), also for a file too large or too deeply nested to be a settings file.
int readSettingsFile(VregTable& table, const std::string& path, std::ostream& out,
                     std::ostream& err);
// Reads the file as XML (text trimmed) and pushes its vregs. 29 with the XML reader's message
// (naming the file and line) logged when the file cannot be opened or is not well formed;
// otherwise 0. Throws what vregsFromTree throws, and std::runtime_error for a file over the limits.
int loadXmlFile(const std::string& path, VregTable& table);
// Writes the table as XML (4-blank indentation, utf-8) in place of any earlier file, atomically.
// Throws on failure (std::system_error naming the file and the reason).
void saveXmlFile(const std::string& path, const VregTable& table);
// Writes the table to the file, replacing it atomically (replaceFile). 0 success; 95 ("Writing
// settings failed" on err), also for a target that is not a regular file.
int writeSettingsFile(const VregTable& table, const std::string& path, std::ostream& out,
                      std::ostream& err);

}  // namespace sunlink
