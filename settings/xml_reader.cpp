#include "settings/xml_reader.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace sunlink {

namespace pt = boost::property_tree;

namespace {

// The tree under construction: the document and every element still open, innermost last. Lives
// for one parse; expat calls it on the caller's thread.
struct TreeBuilder {
  XML_Parser parser;
  int maxDepth;
  pt::ptree document;
  std::vector<pt::ptree*> open;
  std::string refusal;  // why the builder stopped the parser; empty while reading goes on

  void refuse(const std::string& reason) {
    refusal = reason;
    XML_StopParser(parser, XML_FALSE);
  }
};

void trimBlanks(std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t last = text.find_last_not_of(blanks);
  text.erase(last == std::string::npos ? 0 : last + 1);
  text.erase(0, std::min(text.find_first_not_of(blanks), text.size()));
}

// The handlers are called from C: nothing may be thrown through expat, so a failure to allocate
// stops the parser like any other refusal. After a stop expat may still deliver what it holds;
// nothing more is built then.
void XMLCALL elementStarts(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& b = *static_cast<TreeBuilder*>(data);
  if (!b.refusal.empty()) return;
  if (static_cast<int>(b.open.size()) > b.maxDepth) {
    b.refuse("elements nested deeper than " + std::to_string(b.maxDepth) + " levels");
    return;
  }
  try {
    pt::ptree& node = b.open.back()->push_back(std::make_pair(name, pt::ptree()))->second;
    if (attributes[0] != nullptr) {
      pt::ptree& list = node.push_back(std::make_pair("<xmlattr>", pt::ptree()))->second;
      for (const XML_Char** a = attributes; a[0] != nullptr; a += 2)
        list.push_back(std::make_pair(a[0], pt::ptree(a[1])));
    }
    b.open.push_back(&node);
  } catch (const std::bad_alloc&) {
    b.refuse("out of memory");
  }
}

void XMLCALL elementEnds(void* data, const XML_Char*) {
  auto& b = *static_cast<TreeBuilder*>(data);
  if (!b.refusal.empty() || b.open.size() < 2) return;
  trimBlanks(b.open.back()->data());
  b.open.pop_back();
}

void XMLCALL textFound(void* data, const XML_Char* text, int length) {
  auto& b = *static_cast<TreeBuilder*>(data);
  // Blanks between top-level items belong to no element.
  if (!b.refusal.empty() || b.open.size() < 2) return;
  try {
    b.open.back()->data().append(text, static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    b.refuse("out of memory");
  }
}

void XMLCALL commentFound(void* data, const XML_Char* text) {
  auto& b = *static_cast<TreeBuilder*>(data);
  if (!b.refusal.empty()) return;
  try {
    b.open.back()->push_back(std::make_pair("<xmlcomment>", pt::ptree(text)));
  } catch (const std::bad_alloc&) {
    b.refuse("out of memory");
  }
}

void XMLCALL typeDeclarationStarts(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                   int) {
  static_cast<TreeBuilder*>(data)->refuse("a document type declaration is not accepted");
}

}  // namespace

pt::ptree readXmlDocument(const std::string& text, int maxDepth) {
  const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
      XML_ParserCreate(nullptr), &XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  TreeBuilder builder{parser.get(), maxDepth, {}, {}, {}};
  builder.open.push_back(&builder.document);
  XML_SetUserData(parser.get(), &builder);
  XML_SetElementHandler(parser.get(), elementStarts, elementEnds);
  XML_SetCharacterDataHandler(parser.get(), textFound);
  XML_SetCommentHandler(parser.get(), commentFound);
  XML_SetStartDoctypeDeclHandler(parser.get(), typeDeclarationStarts);

  // In pieces that an int can count, the last one marked final so that an unclosed document fails.
  constexpr std::size_t piece = 1 << 20;
  std::size_t at = 0;
  XML_Status status = XML_STATUS_OK;
  do {
    const std::size_t length = std::min(piece, text.size() - at);
    const bool last = at + length == text.size();
    status = XML_Parse(parser.get(), text.data() + at, static_cast<int>(length),
                       last ? XML_TRUE : XML_FALSE);
    at += length;
  } while (status == XML_STATUS_OK && at < text.size());
  if (status != XML_STATUS_OK) {
    const unsigned long line = XML_GetCurrentLineNumber(parser.get());
    if (!builder.refusal.empty()) throw xml_read_error(builder.refusal, line);
    throw xml_read_error(XML_ErrorString(XML_GetErrorCode(parser.get())), line);
  }
  return std::move(builder.document);
}

}  // namespace sunlink
