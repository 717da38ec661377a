// Reading an XML document into the property tree form the settings engine works on.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <string>

namespace sunlink {

// A document that is not well-formed XML, or that the reader refuses (nested too deep, a document
// type declaration). line is the document's line where reading stopped, 0 when none applies.
class xml_read_error : public std::runtime_error {
 public:
  xml_read_error(const std::string& message, unsigned long line)
      : std::runtime_error(message), line_(line) {}
  unsigned long line() const { return line_; }

 private:
  unsigned long line_;
};

// Parses text as one whole XML document with expat (a streaming parser: no recursion, however the
// document nests) and returns it as a property tree: one child per element under its name, its
// attributes in document order as children of "<xmlattr>", its text with the blanks at either end
// trimmed as the node's data, and each comment as a child "<xmlcomment>" holding its text.
// Processing instructions are dropped. An element nested
// deeper than maxDepth (the root is depth 1) ends reading, as does a document type declaration:
// neither belongs in the documents this program reads, and a declaration could define entities
// that multiply the text. Throws xml_read_error naming the reason and the line.
boost::property_tree::ptree readXmlDocument(const std::string& text, int maxDepth);

}  // namespace sunlink
