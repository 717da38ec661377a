// The XML settings file and the vreg definition documents.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <istream>
#include <ostream>
#include <string>

#include "settings/vreg_table.h"

namespace sunlink {

// The vreg definition document carried in the program (56 vregs).
extern const char* const embeddedDefaults;

// Pushes the vregs under "qmx.vregs" of tree (or of the embedded document when tree has none).
// Throws what push throws, and the property tree's error for a vreg element without attributes.
// Adds an attribute NAME="TEXT" to the attributes node of an element being written.
void addAttribute(boost::property_tree::ptree& attributes, const char* name,
                  const std::string& text);
void vregsFromTree(const boost::property_tree::ptree& tree, VregTable& table);
boost::property_tree::ptree vregsToTree(const VregTable& table);

// Reads a settings file's vreg list into the table, checked whole before the first vreg is pushed:
// - the document holds `qmx`, holding `vregs`, holding at least one `vreg` element;
// - get, set and verify are "0x" and 1 to 4 hex digits (either case), or decimal up to 65535;
// - value, min and max are "0x" and 1 to 8 hex digits (either case, held in upper case), or
//   decimal up to 4294967295 (held in 2, 4 or 8 digits, the fewest that hold it);
// - status, when given, is one of the eight status words.
// Anything else throws std::runtime_error naming the vreg (by label, else by position) and the
// attribute, with the table unchanged. A vreg whose status word says the download did not read it
// (unknown, skipped, get_failed, config_error) keeps that status, so a store passes over it; any
// other vreg is ok when it has a value, as vregsFromTree makes it. Throws what vregsFromTree
// throws.
void settingsFromTree(const boost::property_tree::ptree& tree, VregTable& table);

// A settings file holds one charger's few dozen settings in a few KiB, three elements deep. Larger
// files are refused before they are parsed; elements nested deeper than the limit end the parse.
constexpr std::size_t maxSettingsFileBytes = 1024 * 1024;
constexpr int maxSettingsFileDepth = 64;

// Empties the table and loads the file with settingsFromTree. 0 success; 29 the file is not
// readable, well-formed XML or nests deeper than the limit (error line logged; the caller ends the
// program with it); 94 loading failed (error line naming the file and the reason logged, "Reading
// settings failed" on err), also for a file too large to be a settings file. With standardInput
// given, the path "-" reads the document from it instead of a file (--upload -, --compare -).
int readSettingsFile(VregTable& table, const std::string& path, std::ostream& out,
                     std::ostream& err, std::istream* standardInput = nullptr);
// Reads the file as XML (readXmlDocument) and pushes its vregs. 29 with the XML reader's message
// (naming the file and line) logged when the file cannot be opened, is not well formed or nests
// too deep; otherwise 0. Throws what settingsFromTree throws, and std::runtime_error for a file
// over the size limit.
int loadXmlFile(const std::string& path, VregTable& table);
// Writes the table as XML (4-blank indentation, utf-8) in place of any earlier file, atomically.
// Throws on failure (std::system_error naming the file and the reason).
void saveXmlFile(const std::string& path, const VregTable& table);
// Writes the table to the file, replacing it atomically (replaceFile). 0 success; 95 ("Writing
// settings failed" on err), also for a target that is not a regular file.
int writeSettingsFile(const VregTable& table, const std::string& path, std::ostream& out,
                      std::ostream& err);
// Writes the table as a settings document to `document`, for "--download -" (standard output),
// announced on out as the file "-". 0 success; 95 when the stream fails ("Writing settings failed"
// on err).
int writeSettingsDocument(const VregTable& table, std::ostream& document, std::ostream& out,
                          std::ostream& err);

}  // namespace sunlink
