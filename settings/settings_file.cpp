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

namespace sunlink {

namespace pt = boost::property_tree;

namespace {

// The whole stream, read at most one byte past what a settings file may have, so a huge input
// costs no more than that. name is what the messages call it.
std::string readWhole(std::istream& in, const std::string& name) {
  std::string text;
  char chunk[16384];
  while (text.size() <= maxSettingsFileBytes && in.read(chunk, sizeof chunk).gcount() > 0)
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw pt::xml_parser_error("cannot read file", name, 0);
  if (text.size() > maxSettingsFileBytes) {
    throw std::runtime_error("larger than " + std::to_string(maxSettingsFileBytes) +
                             " bytes, not a settings file");
  }
  return text;
}

// The whole file, or the XML reader's kind of error (naming the file) when it cannot be read.
std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw pt::xml_parser_error(std::string("cannot open file: ") + std::strerror(errno), path, 0);
  // A folder opens like a file here and then reads as nothing.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    throw pt::xml_parser_error("cannot open file: Is a directory", path, 0);
  return readWhole(in, path);
}

// Deepest element nesting of an XML text, counted the way the XML reader descends: comments, CDATA
// sections, processing instructions and the document type do not nest, and a quoted attribute value
// may hold '>'. Stops once limit is passed. Not a validator: the reader rejects malformed text.
int elementDepth(const std::string& text, int limit) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  auto skipPast = [&](const char* end) {
    const std::size_t at = text.find(end, i);
    i = at == std::string::npos ? n : at + std::strlen(end);
  };
  int depth = 0;
  int deepest = 0;
  while (i < n) {
    const std::size_t open = text.find('<', i);
    if (open == std::string::npos) break;
    i = open + 1;
    if (i >= n) break;
    if (text.compare(i, 3, "!--") == 0) {
      i += 3;
      skipPast("-->");
    } else if (text.compare(i, 8, "![CDATA[") == 0) {
      skipPast("]]>");
    } else if (text[i] == '?') {
      skipPast("?>");
    } else if (text[i] == '!') {
      skipPast(">");
    } else if (text[i] == '/') {
      if (depth > 0) --depth;
      skipPast(">");
    } else {
      // A quote opens an attribute value only after its "=": a stray quote elsewhere in a tag
      // (<qmx">) must not hide the rest of the document from the count.
      char quote = 0;
      char previous = 0;  // the last character of the tag that is not a blank
      bool empty = false;
      for (; i < n; ++i) {
        const char c = text[i];
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if ((c == '"' || c == '\'') && previous == '=') {
          quote = c;
        } else if (c == '>') {
          empty = text[i - 1] == '/';
          ++i;
          break;
        }
        if (!blank) previous = c;
      }
      if (!empty && ++depth > deepest) {
        deepest = depth;
        if (deepest > limit) break;
      }
    }
  }
  return deepest;
}

}  // namespace

namespace {

// Reads the document that read() gives as XML (text trimmed) and pushes its vregs, as loadXmlFile.
template <typename Read>
int loadXml(const std::string& path, VregTable& table, Read read) {
  pt::ptree tree;
  try {
    const std::string text = read();
    if (elementDepth(text, maxSettingsFileDepth) > maxSettingsFileDepth) {
      throw std::runtime_error("elements nested deeper than " +
                               std::to_string(maxSettingsFileDepth) +
                               " levels, not a settings file");
    }
    std::istringstream in(text);
    pt::read_xml(in, tree, pt::xml_parser::trim_whitespace);
    // The reader takes an empty file, or one of only comments, as an empty document; it is no
    // XML document at all (and an upload of it would be reported as done while nothing is stored).
    bool hasElement = false;
    for (const auto& child : tree) hasElement = hasElement || child.first != "<xmlcomment>";
    if (!hasElement) throw pt::xml_parser_error("no root element", path, 0);
  } catch (const pt::xml_parser_error& e) {
    // Read from memory, the reader's own message lacks the file name; put it back in.
    const pt::xml_parser_error named(e.message(), path, e.line());
    logError("settings", "%s", named.what());
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
                     [standardInput] { return readWhole(*standardInput, "standard input"); });
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
