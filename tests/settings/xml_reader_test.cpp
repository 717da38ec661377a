#include "settings/xml_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace sunlink {
namespace {

std::string nested(int depth, const std::string& inner = "") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a x='>'><!-- <b> --><![CDATA[<c>]]><?p <d>?>\n";
  text += inner;
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

// The reader used to descend recursively: a document nested a few ten thousand levels deep ran it
// out of stack. Now the depth is counted as the elements open, and reading stops past the limit.
TEST(XmlReaderTest, NestingPastTheLimitIsRefusedAtItsLine) {
  struct Case {
    std::string text;
    int limit;
    unsigned long line;  // where reading stopped; 0 when the document is read
  };
  const Case cases[] = {
      {nested(64), 64, 0},
      {nested(63, "<e/>"), 64, 0},
      {nested(65), 64, 65},
      {nested(64, "<e/>"), 64, 65},
      {nested(3), 2, 3},
      {nested(200000), 64, 65},
      {"<qmx\"><vregs>" + nested(50000) + "</vregs></qmx>", 64, 1},  // malformed before too deep
  };
  for (const Case& c : cases) {
    const std::string name = c.text.substr(0, 40) + "... limit " + std::to_string(c.limit);
    try {
      const boost::property_tree::ptree tree = readXmlDocument(c.text, c.limit);
      EXPECT_EQ(c.line, 0u) << name;
      EXPECT_EQ(tree.get<std::string>("a.<xmlattr>.x"), ">") << name;
    } catch (const xml_read_error& e) {
      EXPECT_EQ(e.line(), c.line) << name << ": " << e.what();
      if (c.line > 1) {
        EXPECT_EQ(std::string(e.what()),
                  "elements nested deeper than " + std::to_string(c.limit) + " levels");
      }
    }
  }
}

}  // namespace
}  // namespace sunlink
