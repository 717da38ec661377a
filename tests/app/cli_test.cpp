// The command line: parsing in-process, and the real chgtune binary's banner, help, version and
// command-line errors.
#include "app/cli.h"

#include <gtest/gtest.h>

#include <boost/program_options/errors.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace sunlink {
namespace {

using test::ProcessResult;
using test::runChgtune;

const std::string banner = "SunLink chgtune 1.17\n";

CommandLine parse(std::vector<std::string> args) {
  std::vector<const char*> argv{"chgtune"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return CommandLine(static_cast<int>(argv.size()), argv.data());
}

// The library's own message for a command line it refuses.
std::string refusal(const std::vector<std::string>& args) {
  try {
    parse(args);
  } catch (const boost::program_options::error& e) {
    return e.what();
  }
  return "(accepted)";
}

std::string helpListing() {
  std::ostringstream out;
  printHelp(out);
  return out.str();
}

TEST(CommandLineTest, ShortAndLongNamesReachTheSameOptionWithTheirTextUninterpreted) {
  const struct {
    std::vector<std::string> args;
    const char* option;
    const char* text;
  } cases[] = {
      {{"-a", "14.4"}, "abs", "14.4"},
      {{"--abs=14,4V"}, "abs", "14,4V"},  // decimal comma and unit are the setter's business
      {{"-s", "/dev/ttyUSB0"}, "serial", "/dev/ttyUSB0"},
      {{"--serial", "COM3"}, "serial", "COM3"},
      {{"-y", "24"}, "sys", "24"},
      {{"-f", "13.8"}, "float", "13.8"},
      {{"-b", "1"}, "cellguard", "1"},
      {{"-c", "20"}, "current", "20"},
      {{"-i", "-5"}, "eqv", "-5"},  // a leading minus is a value, not an option
      {{"-j", "on"}, "autoeq", "on"},
      {{"-k", "-16.2"}, "tempcomp", "-16.2"},
      {{"-m", "6"}, "abslim", "6"},
      {{"-o", "out.xml"}, "download", "out.xml"},
      {{"-u", "in.xml"}, "upload", "in.xml"},
      {{"-d"}, "dump", ""},
      {{"-h"}, "help", ""},
      {{"-g"}, "get", ""},
      {{"-t"}, "table", ""},
      {{"-r"}, "reset", ""},
      {{"-e"}, "erase", ""},
      {{"-n"}, "clock", ""},
      {{"-q"}, "quiet", ""},
      {{"-V"}, "version", ""},  // capital V: version
      {{"-v"}, "verbose", ""},  // small v: verbose
      {{"-?"}, "?", ""},
      {{"--?"}, "?", ""},
  };
  for (const auto& c : cases) {
    const CommandLine options = parse(c.args);
    EXPECT_TRUE(options.has(c.option)) << c.args[0];
    EXPECT_EQ(options.text(c.option), c.text) << c.args[0];
  }
  const CommandLine verbose = parse({"-v"});
  EXPECT_FALSE(verbose.has("version"));
  EXPECT_FALSE(parse({"-V"}).has("verbose"));
  EXPECT_FALSE(parse({}).has("help"));
}

TEST(CommandLineTest, RefusedCommandLinesThrowTheLibrarysError) {
  const std::vector<std::vector<std::string>> refused = {
      {"--foo"},     {"-x"}, {"--serial"}, {"--get", "--get"}, {"-a", "14", "--abs", "15"},
      {"--help=yes"}};
  for (const auto& args : refused)
    EXPECT_THROW(parse(args), boost::program_options::error) << args[0];
  EXPECT_EQ(refusal({"--foo"}), "unrecognised option '--foo'");
}

TEST(CommandLineTest, HelpListsTheVisibleOptionsOnly) {
  const std::string help = helpListing();
  EXPECT_EQ(help.rfind("Allowed options:\n", 0), 0u) << help;
  const char* listed[] = {"-d [ --dump ]",
                          "-h [ --help ]",
                          "-g [ --get ]",
                          "-s [ --serial ] PORT",
                          "-y [ --sys ] VOLTS",
                          "-a [ --abs ] VOLTS",
                          "-f [ --float ] VOLTS",
                          "-b [ --cellguard ] 0|1",
                          "-c [ --current ] AMPS",
                          "-i [ --eqv ] VOLTS",
                          "-j [ --autoeq ] DAYS",
                          "-k [ --tempcomp ] MV_PER_K",
                          "-m [ --abslim ] HOURS",
                          "-t [ --table ]",
                          "-r [ --reset ]",
                          "-e [ --erase ]",
                          "-n [ --clock ]",
                          "-o [ --download ] FILE",
                          "-u [ --upload ] FILE",
                          "--compare FILE",
                          "-q [ --quiet ]",
                          "-V [ --version ]",
                          "reset all settings to factory default settings"};
  std::size_t previous = 0;
  for (const char* entry : listed) {
    const std::size_t at = help.find(entry);
    ASSERT_NE(at, std::string::npos) << entry;
    if (entry[0] == '-') {
      EXPECT_GT(at, previous) << entry << " is out of declaration order";
      previous = at;
    }
  }
  // Every value is named by its unit or form, none by the library's placeholder.
  EXPECT_EQ(help.find(" arg "), std::string::npos) << help;
  EXPECT_EQ(help.find("verbose"), std::string::npos);
  EXPECT_EQ(help.find("-?"), std::string::npos);
  EXPECT_EQ(help.find("Hidden"), std::string::npos);
}

// --- The binary --------------------------------------------------------------------------------

TEST(ChgtuneBinaryTest, HelpPrintsBannerAndListingOnlyAndOpensNothing) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"},
      {"-h"},
      {"-?"},
      {"--?"},
      {"--help", "--reset"},
      {"--version", "--help"},
      {"-v", "--help", "--serial", "/nonexistent/tty"}};
  for (const auto& args : asks) {
    const ProcessResult run = runChgtune(args);
    EXPECT_EQ(run.exitCode, 0) << args[0];
    EXPECT_EQ(run.out, banner + helpListing() + "\n") << args[0];
    EXPECT_EQ(run.err, "") << args[0];
  }
}

TEST(ChgtuneBinaryTest, VersionPrintsTwoLines) {
  for (const char* ask : {"--version", "-V"}) {
    const ProcessResult run = runChgtune({ask, "--get"});
    EXPECT_EQ(run.exitCode, 0) << ask;
    EXPECT_TRUE(std::regex_match(
        run.out,
        std::regex(
            R"(SunLink chgtune 1\.17\nVERSION: 1\.17 \(build [A-Z][a-z]{2} [ 0-9]\d \d{4}\)\n)")))
        << run.out;
    EXPECT_EQ(run.err, "") << ask;
  }
}

TEST(ChgtuneBinaryTest, CommandLineErrorsShowOnlyTheLibrarysMessageAndEndWithMinusOne) {
  const std::vector<std::vector<std::string>> refused = {
      {"--foo"}, {"--serial"}, {"--get", "-g"}, {"-z", "--help"}, {"--help=yes"}};
  for (const auto& args : refused) {
    const ProcessResult run = runChgtune(args);
    EXPECT_EQ(run.exitCode, 255) << args[0];
    EXPECT_EQ(run.out, banner) << args[0];
    EXPECT_EQ(run.err, refusal(args) + "\n") << args[0];
  }
}

TEST(ChgtuneBinaryTest, APortThatCannotBeOpenedShowsOnlyTheOperatingSystemsReason) {
  const ProcessResult run = runChgtune({"--serial", "/nonexistent/ttyUSB9", "--get"});
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.out, banner);
  EXPECT_TRUE(std::regex_match(run.err, std::regex("open.*No such file or directory\n")))
      << run.err;
}

TEST(ChgtuneBinaryTest, VerboseLogsStartAndRunTimeAroundTheRun) {
  const ProcessResult run = runChgtune({"-v", "-s", "/nonexistent/ttyUSB9"});
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(std::regex_match(
      run.err, std::regex("\\d{3}\\.\\d{3} INF\\.chgtune: start\n"
                          "open.*\n"
                          "\\d{3}\\.\\d{3} INF\\.chgtune: done in \\d{3}\\.\\d{3}\n")))
      << run.err;
}

}  // namespace
}  // namespace sunlink
