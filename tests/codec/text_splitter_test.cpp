#include "codec/text_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pty_peer.h"

namespace sunlink {
namespace {

using test::textBlock;
using Transcript = std::vector<std::string>;

std::string printable(const std::string& text) {
  if (text.size() > 40) return "<" + std::to_string(text.size()) + " bytes>";
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "<CR>";
    else if (c == '\n')
      out += "<LF>";
    else if (c == '\t')
      out += "<TAB>";
    else
      out.push_back(c);
  }
  return out;
}

// Feeds bytes to the splitter and writes down what came out, in order: "label=value" for every
// pair of a valid block, "bad checksum" and "bad length" for the dropped ones.
Transcript feed(TextSplitter& splitter, const std::string& bytes) {
  Transcript transcript;
  for (char b : bytes) {
    const TextSplitter::Outcome outcome = splitter.feed(b);
    if (outcome.validBlock) {
      extractPairs(splitter.lastBlock(), [&](const std::string& label, const std::string& value) {
        transcript.push_back(printable(label) + "=" + printable(value));
      });
    }
    if (outcome.badChecksum) transcript.push_back("bad checksum");
    if (outcome.badLength) transcript.push_back("bad length");
  }
  return transcript;
}

Transcript feed(const std::string& bytes) {
  TextSplitter splitter;
  return feed(splitter, bytes);
}

std::string checksumPair(const std::string& block) {
  return "Checksum=" + printable(block.substr(block.size() - 1));
}

// A one-line block whose checksum byte is the given one (the value's last character is chosen).
std::string blockWithChecksum(char checksum) {
  for (int c = '0'; c <= 'z'; ++c) {
    std::string block = textBlock({{"V", std::string("1280") + static_cast<char>(c)}});
    if (block.back() == checksum) return block;
  }
  ADD_FAILURE() << "no block with that checksum";
  return std::string();
}

TEST(TextSplitterTest, DeliversThePairsOfValidBlocks) {
  const std::string pid = textBlock({{"PID", "0xA042"}});
  const std::string identity = textBlock({{"PID", "0xA042"}, {"FW", "116"}, {"SER#", "HQ1"}});
  EXPECT_EQ(feed(pid), Transcript({"PID=0xA042", checksumPair(pid)}));
  EXPECT_EQ(feed(identity),
            Transcript({"PID=0xA042", "FW=116", "SER#=HQ1", checksumPair(identity)}));
  // Back to back: each block starts where the last one ended.
  EXPECT_EQ(feed(pid + identity), Transcript({"PID=0xA042", checksumPair(pid), "PID=0xA042",
                                              "FW=116", "SER#=HQ1", checksumPair(identity)}));
}

TEST(TextSplitterTest, DropsDamagedBlocksAndGoesOn) {
  const std::string pid = textBlock({{"PID", "0xA042"}});
  std::string corrupted = pid;
  corrupted[4] = 'X';  // "PXD"
  const std::string joined = textBlock({{"NOTAB\r\nB", "2"}});
  const std::string colonChecksum = blockWithChecksum(':');
  const std::string crChecksum = blockWithChecksum('\r');

  struct Case {
    const char* what;
    std::string bytes;
    Transcript transcript;
  };
  const Case cases[] = {
      {"reception starts in the middle of a block",
       pid.substr(5) + pid,
       {"bad checksum", "PID=0xA042", checksumPair(pid)}},
      {"one damaged byte", corrupted + pid, {"bad checksum", "PID=0xA042", checksumPair(pid)}},
      {"an empty value ends the block's pairs",
       textBlock({{"A", "1"}, {"B", ""}, {"C", "3"}}),
       {"A=1"}},
      {"a line without TAB joins the next one", joined, {"NOTAB<CR><LF>B=2", checksumPair(joined)}},
      {"a colon inside a block drops the bytes up to the line end",
       textBlock({{"A", "1"}, {"B", ":xyz"}, {"C", "3"}}),
       {"bad checksum"}},
      {"a checksum byte that is a colon drops the block silently",
       colonChecksum + pid,
       {"PID=0xA042", checksumPair(pid)}},
      {"a checksum byte that is CR yields no checksum pair",
       crChecksum,
       {"V=" + crChecksum.substr(4, 5)}},
  };
  for (const Case& c : cases) EXPECT_EQ(feed(c.bytes), c.transcript) << c.what;
}

TEST(TextSplitterTest, HexFramesBetweenBlocksDoNotDisturbThem) {
  const std::string pid = textBlock({{"PID", "0xA042"}});
  const std::string fw = textBlock({{"FW", "116"}});
  const Transcript both = {"PID=0xA042", checksumPair(pid), "FW=116", checksumPair(fw)};
  // The charger ends its frames with LF; CR LF is taken too.
  EXPECT_EQ(feed(pid + ":5094106\n" + fw), both);
  EXPECT_EQ(feed(pid + ":5094106\r\n" + fw), both);
  EXPECT_EQ(feed(pid + ":154\n:451\n" + fw), both);
  // A frame cutting into a block loses that block without a word; the next one is whole.
  EXPECT_EQ(feed(pid.substr(0, 6) + ":5094106\n" + fw), Transcript({"FW=116", checksumPair(fw)}));
}

TEST(TextSplitterTest, LimitsTheBlockToOneKilobyte) {
  // textBlock({{"L", n 'a's}}) is n + 16 bytes long.
  const std::string at1024 = textBlock({{"L", std::string(1008, 'a')}});
  const std::string at1025 = textBlock({{"L", std::string(1009, 'a')}});
  ASSERT_EQ(at1024.size(), 1024u);
  ASSERT_EQ(at1025.size(), 1025u);
  const std::string value1008 = "L=<1008 bytes>";
  const std::string value1009 = "L=<1009 bytes>";
  const std::string pid = textBlock({{"PID", "0xA042"}});

  EXPECT_EQ(feed(at1024), Transcript({value1008, checksumPair(at1024)}));
  // Ending exactly at byte 1025: delivered, and still counted as too long.
  EXPECT_EQ(feed(at1025), Transcript({value1009, checksumPair(at1025), "bad length"}));

  // 1024 bytes without an end are kept; the 1025th drops them, and reception starts afresh.
  TextSplitter splitter;
  EXPECT_TRUE(feed(splitter, std::string(1024, 'x')).empty());
  EXPECT_EQ(feed(splitter, "x"), Transcript({"bad length"}));
  EXPECT_EQ(feed(splitter, pid), Transcript({"PID=0xA042", checksumPair(pid)}));

  // A long run of noise is dropped once per 1025 bytes.
  EXPECT_EQ(feed(std::string(3 * 1025, 'x')),
            Transcript({"bad length", "bad length", "bad length"}));
}

TEST(TextSplitterTest, ExtractsPairsFromEachMatchEnd) {
  struct Case {
    std::string block;
    Transcript pairs;
  };
  const Case cases[] = {
      {"\r\nA\t1\r\nB\t2\r\nChecksum\tZ", {"A=1", "B=2", "Checksum=Z"}},
      // Text before the first CR LF: "^" also matches after a line break further on.
      {"junk\r\nA\t1\r\nChecksum\tZ", {}},
      {"junk\n\r\nA\t1\r\nChecksum\tZ", {"A=1", "Checksum=Z"}},
      {"junk\f\r\nA\t1", {"A=1"}},
      {"\r\nA\t1\r\r\nB\t2", {"A=1", "B=2"}},  // after a stray CR the next line starts again
      {"\r\nA\t1\r\nB\t\r\nChecksum\tZ", {"A=1"}},
      {"\r\nA\t1\r\nChecksum\t\r", {"A=1"}},
      {"\r\nA\tone two\r\nChecksum\t\t", {"A=one two", "Checksum=<TAB>"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    Transcript pairs;
    extractPairs(c.block, [&](const std::string& label, const std::string& value) {
      pairs.push_back(printable(label) + "=" + printable(value));
    });
    EXPECT_EQ(pairs, c.pairs) << printable(c.block);
  }
}

}  // namespace
}  // namespace sunlink
