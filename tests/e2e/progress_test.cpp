// The progress line of a retrieve, a store and a scan, with standard error on a terminal.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

// How the progress line is drawn, redrawn and erased on a terminal: a carriage return and an
// erase to the end of the line, then the text, if any.
const std::string kRewrite = "\r\033[K";

// Standard error as a pipe or a file would have had it: the progress texts (a rewrite followed by
// another rewrite) and the rewrites that erased them taken out.
std::string withoutProgress(const std::string& err) {
  static const std::regex drawn("\r\033\\[K[^\r\n]*(?=\r)");
  static const std::regex erased("\r\033\\[K");
  return std::regex_replace(std::regex_replace(err, drawn, ""), erased, "");
}

TEST(ProgressTest, LongWorkShowsOneLineOnATerminalThatNoOtherLineMixesWith) {
  struct Case {
    std::vector<std::string> args;
    std::string first;  // the first progress text drawn ("" for the port, filled in below)
    std::string last;   // the last one
  };
  const Case cases[] = {
      {{"--get"}, "Retrieving ", " settings\u2026"},
      {{"--abs", "14.35"}, "Storing 1 of ", " settings\u2026"},
      {{"--scan"}, "Probing ", " (1 of 1)\u2026"},
      // Log lines and the scan's "Checking:" line arrive while the line is shown.
      {{"--scan", "--verbose"}, "Probing ", " (1 of 1)\u2026"},
      {{"--get", "--verbose"}, "Retrieving ", " settings\u2026"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    SimulatedCharger charger("load115");
    ProcessOptions options;
    options.stderrOnTerminal = true;
    const ProcessResult run = charger.run(c.args, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Drawn with the work's texts, each one replaced only by another rewrite (never followed by
    // another line), and erased at the end.
    const std::regex progress("\r\033\\[K(" + c.first + "[^\r\n]*" + ")");
    std::vector<std::string> texts;
    for (std::sregex_iterator it(run.err.begin(), run.err.end(), progress), end; it != end; ++it) {
      texts.push_back((*it)[1]);
      const std::size_t after = static_cast<std::size_t>(it->position() + it->length());
      EXPECT_EQ(run.err.compare(after, kRewrite.size(), kRewrite), 0)
          << "followed by: " << run.err.substr(after, 40);
    }
    ASSERT_FALSE(texts.empty()) << run.err;
    EXPECT_TRUE(texts.back().size() >= c.last.size() &&
                texts.back().compare(texts.back().size() - c.last.size(), c.last.size(), c.last) ==
                    0)
        << texts.back();
    if (c.args.back() == "--verbose") continue;  // the log's time stamps differ from run to run

    // Apart from the line, standard error is what it is without a terminal, where nothing is drawn.
    SimulatedCharger plainCharger("load115");
    const ProcessResult plain = plainCharger.run(c.args);
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err.find('\033'), std::string::npos) << plain.err;
    std::string expected = plain.err;
    for (std::size_t at; (at = expected.find(plainCharger.path())) != std::string::npos;)
      expected.replace(at, plainCharger.path().size(), charger.path());
    EXPECT_EQ(withoutProgress(run.err), expected);
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
