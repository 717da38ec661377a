// The command line of chgtune: the option table, parsing and the help listing.
//
// Every option that takes a value takes it as text; the operations that consume a value interpret
// it themselves (a bad number is the setter's business, not the parser's).
#pragma once

#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>
#include <ostream>
#include <string>

namespace sunlink {

// The three option groups built from the one option table: "Allowed options" (listed by --help),
// "Hidden options" (-? and --verbose, accepted but not listed) and "All options" (the visible group
// followed by the hidden one), which is the group parsed.
struct OptionGroups {
  OptionGroups();
  boost::program_options::options_description visible;
  boost::program_options::options_description hidden;
  boost::program_options::options_description all;
};

// The options given on one command line.
class CommandLine {
 public:
  // Parses argv (argv[0] is the program name) against "All options" with the library's default
  // style, each option at most once, and runs the library's notify step. Positional arguments
  // (also those after "--") are refused. Throws boost::program_options::error carrying the
  // library's own message.
  CommandLine(int argc, const char* const argv[]);

  bool has(const std::string& name) const { return values_.count(name) > 0; }
  // The text given with an option that takes a value; empty for a switch or an option not given.
  std::string text(const std::string& name) const;

 private:
  boost::program_options::variables_map values_;
};

// The "Allowed options" group in the library's help layout (no trailing empty line).
void printHelp(std::ostream& out);

}  // namespace sunlink
