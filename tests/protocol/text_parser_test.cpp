// The TEXT parser: which pairs it keeps, the HEX trace, and its connections to a link.
#include "protocol/text_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/qmx_serial.h"
#include "support/log_capture.h"
#include "support/scripted_device.h"

namespace sunlink {
namespace {

// The links open a scripted device's port; the tests emit the link's signals themselves.
using test::LogCapture;
using test::ScriptedDevice;

HexMsg frame(const std::string& text) {
  HexReceiver receiver;
  for (char c : text) {
    if (receiver.feed(c)) return receiver.frame();
  }
  ADD_FAILURE() << "no frame in " << text;
  return HexMsg();
}

std::vector<std::pair<std::string, std::string>> contents(const TextDictionary& dictionary) {
  std::vector<std::pair<std::string, std::string>> result;
  for (const QmxValue& entry : dictionary.entries()) result.emplace_back(entry.label, entry.value);
  return result;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(QmxGetParser, KeepsFirstValueOfEachIdentityLabelInArrivalOrder) {
  LogCapture log;
  ScriptedDevice pty;
  QmxSerial link(pty.path());
  TextDictionary dictionary;
  {
    QmxGetParser parser(link, dictionary);
    link.textSignal("PID", "0x300");
    link.textSignal("FW", "159");
    link.textSignal("SER#", "HQ1234ABCDE");
    link.textSignal("V", "12760");
    link.textSignal("PID", "0x301");
    link.textSignal("pid", "0x302");
    link.textSignal("Checksum", "\x42");

    EXPECT_EQ(contents(dictionary),
              (Pairs{{"PID", "0x300"}, {"FW", "159"}, {"SER#", "HQ1234ABCDE"}}));
    QmxValue found{"old", "old"};
    EXPECT_TRUE(parser.lookup("pid", found));
    EXPECT_EQ(found.label, "PID");
    EXPECT_EQ(found.value, "0x300");
    QmxValue untouched{"old value", "old label"};
    EXPECT_FALSE(parser.lookup("V", untouched));
    EXPECT_EQ(untouched.value, "old value");
    EXPECT_EQ(untouched.label, "old label");
  }
  const std::vector<std::string> expected = {
      "parser: establish hex protocol connection",
      "parser: establish text protocol connection",
      "parser: dictionary add (PID = \"0x300\")",
      "parser: dictionary add (FW = \"159\")",
      "parser: dictionary add (SER# = \"HQ1234ABCDE\")",
      "parser: disconnect hex protocol connection",
      "parser: disconnect text protocol connection",
  };
  EXPECT_EQ(log.messages("INF.reader"), expected);
}

TEST(QmxGetParser, StoresOnlyIdentityLabelsWhateverTheirCase) {
  ScriptedDevice pty;
  QmxSerial link(pty.path());
  TextDictionary dictionary;
  QmxGetParser parser(link, dictionary);
  for (const char* label : {"PROD", "Ser#", "VER#", "qmx", "Pid", "fw", "SER", "PID ", "H19", "I"})
    parser.onText(label, "x");
  EXPECT_EQ(
      contents(dictionary),
      (Pairs{
          {"PROD", "x"}, {"Ser#", "x"}, {"VER#", "x"}, {"qmx", "x"}, {"Pid", "x"}, {"fw", "x"}}));
}

TEST(QmxGetParser, HexFrameOnAnEmptyDictionaryLeavesAPidTrace) {
  struct Case {
    const char* name;
    Pairs before;
    std::string frame;
    Pairs after;
  };
  const Case cases[] = {
      {"ping reply", {}, ":5094106\n", {{"PID", "????"}}},
      {"ping reply after a TEXT PID", {{"PID", "0xA042"}}, ":5094106\n", {{"PID", "0xA042"}}},
      {"ping reply after another label", {{"FW", "1"}}, ":5094106\n", {{"FW", "1"}}},
      {"bare code 5", {}, ":550\n", {{"PID", "????"}}},
      {"bare code 1", {}, ":154\n", {}},
      {"three bytes, code 4", {}, ":40051\n", {}},
      {"four bytes, any code", {}, ":A0000004B\n", {{"PID", "????"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDevice pty;
    QmxSerial link(pty.path());
    TextDictionary dictionary;
    QmxGetParser parser(link, dictionary);
    for (const auto& pair : c.before) link.textSignal(pair.first, pair.second);
    link.hexSignal(frame(c.frame));
    EXPECT_EQ(contents(dictionary), c.after);
  }
}

TEST(QmxGetParser, StopsListeningOnceDestroyed) {
  LogCapture log;
  ScriptedDevice pty;
  TextDictionary dictionary;
  {
    QmxSerial link(pty.path());
    { QmxGetParser parser(link, dictionary); }
    link.textSignal("PID", "0xA042");
    link.hexSignal(frame(":5094106\n"));
    EXPECT_EQ(dictionary.size(), 0u);
  }
  // A parser that outlives its link: the link's signals cut the connections, nothing to log.
  TextDictionary second;
  auto link = std::make_unique<QmxSerial>(pty.path());
  auto parser = std::make_unique<QmxGetParser>(*link, second);
  link.reset();
  const std::size_t linesBefore = log.messages("INF.reader").size();
  parser.reset();
  EXPECT_EQ(log.messages("INF.reader").size(), linesBefore);
}

TEST(TextDictionary, AddsOncePerLabelIgnoringCase) {
  TextDictionary dictionary;
  EXPECT_TRUE(dictionary.addIfAbsent("prod", "MPPT 75/15"));
  EXPECT_FALSE(dictionary.addIfAbsent("PROD", "other"));
  EXPECT_TRUE(dictionary.addIfAbsent("PID", "0xA042"));
  EXPECT_EQ(dictionary.size(), 2u);
  EXPECT_EQ(contents(dictionary), (Pairs{{"prod", "MPPT 75/15"}, {"PID", "0xA042"}}));
  EXPECT_TRUE(labelsEqual("ser#", "SER#"));
  EXPECT_FALSE(labelsEqual("ser", "SER#"));
  EXPECT_FALSE(labelsEqual("ser$", "SER#"));
  EXPECT_FALSE(labelsEqual("SER#", "ser"));
  EXPECT_TRUE(labelsEqual("fW", "Fw"));
  EXPECT_TRUE(labelsEqual("", ""));
}

}  // namespace
}  // namespace sunlink
