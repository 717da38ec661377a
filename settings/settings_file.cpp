#include "settings/settings_file.h"

#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "platform/files.h"
#include "settings/file_identity.h"
#include "settings/xml_reader.h"

namespace sunlink {

namespace pt = boost::property_tree;

namespace {

// The whole stream, read at most one byte past what a settings file may have, so a huge input
// costs no more than that.
std::string readWhole(std::istream& in) {
  std::string text;
  char chunk[16384];
  while (text.size() <= maxSettingsFileBytes && in.read(chunk, sizeof chunk).gcount() > 0)
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw xml_read_error("cannot read file", 0);
  if (text.size() > maxSettingsFileBytes) {
    throw std::runtime_error("larger than " + std::to_string(maxSettingsFileBytes) +
                             " bytes, not a settings file");
  }
  return text;
}

// The whole file, or the XML reader's kind of error when it cannot be read.
std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw xml_read_error(std::string("cannot open file: ") + std::strerror(errno), 0);
  // A folder opens like a file here and then reads as nothing.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    throw xml_read_error("cannot open file: Is a directory", 0);
  return readWhole(in);
}

// Reads the document that read() gives as XML and pushes its vregs, as loadXmlFile.
template <typename Read>
int loadXml(const std::string& path, VregTable& table, Read read) {
  pt::ptree tree;
  try {
    tree = readXmlDocument(read(), maxSettingsFileDepth);
  } catch (const xml_read_error& e) {
    // The file and, where reading got that far, the line: "settings.xml(3): duplicate attribute".
    const std::string where = e.line() != 0 ? path + "(" + std::to_string(e.line()) + ")" : path;
    logError("settings", "%s: %s", where.c_str(), e.what());
    return kExitFileNotXml;
  }
  const std::optional<FileIdentity> identity = identityFromTree(tree);  // before any vreg
  settingsFromTree(tree, table);
  table.identity = identity;
  return 0;
}

}  // namespace

int loadXmlFile(const std::string& path, VregTable& table) {
  return loadXml(path, table, [&path] { return readWholeFile(path); });
}

int readSettingsFile(VregTable& table, const std::string& path, std::ostream& out,
                     std::ostream& err, std::istream* standardInput) {
  try {
    table.clear();
    out << "=== Reading settings from \"" << path << "\" ===\n" << std::flush;
    if (path == "-" && standardInput != nullptr) {
      return loadXml("standard input", table,
                     [standardInput] { return readWhole(*standardInput); });
    }
    return loadXmlFile(path, table);
  } catch (const settings_error&) {
    // push has already said which label.
  } catch (const std::exception& e) {
    logError("settings", "xml file \"%s\": %s", path.c_str(), e.what());
  }
  err << "Reading settings failed" << std::endl;
  return kExitReadFailed;
}

namespace {

std::string settingsDocument(const VregTable& table) {
  std::ostringstream text;
  pt::write_xml(text, vregsToTree(table),
                pt::xml_writer_make_settings<std::string>(' ', 4, "utf-8"));
  return text.str();
}

}  // namespace

void saveXmlFile(const std::string& path, const VregTable& table) {
  replaceFile(path, settingsDocument(table));
}

int writeSettingsFile(const VregTable& table, const std::string& path, std::ostream& out,
                      std::ostream& err) {
  try {
    out << "=== Writing settings to \"" << path << "\" ===\n" << std::flush;
    saveXmlFile(path, table);
    return 0;
  } catch (const std::exception& e) {
    logError("settings", "%s", e.what());
  }
  err << "Writing settings failed" << std::endl;
  return kExitWriteFailed;
}

int writeSettingsDocument(const VregTable& table, std::ostream& document, std::ostream& out,
                          std::ostream& err) {
  try {
    out << "=== Writing settings to \"-\" ===\n" << std::flush;
    const std::string text = settingsDocument(table);
    // A full disk behind a redirection, or a closed standard output, shows only here: the backup
    // must not be reported as made.
    errno = 0;
    if (document.write(text.data(), static_cast<std::streamsize>(text.size())).flush()) return 0;
    logError("settings", "write \"-\" (standard output): %s",
             errno != 0 ? std::strerror(errno) : "the stream failed");
  } catch (const std::exception& e) {
    logError("settings", "%s", e.what());
  }
  err << "Writing settings failed" << std::endl;
  return kExitWriteFailed;
}

}  // namespace sunlink
