#include "app/cli.h"

#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <boost/program_options/value_semantic.hpp>
#include <typeinfo>

namespace po = boost::program_options;

namespace sunlink {

namespace {

struct OptionRow {
  const char* names;  // long and short name as the library takes them: "dump,d"
  bool takesText;
  bool hidden;
  const char* description;
};

// The option table, in declaration order (which is also the order of the help listing).
// --version is a capital V and --verbose a small v; -? is a second name for help that stays out
// of the listing.
constexpr OptionRow optionTable[] = {
    {"dump,d", false, false, "dump communication to output"},
    {"help,h", false, false, "produce help message"},
    {"get,g", false, false, "retrieve data, do not change anything"},
    {"serial,s", true, false, "serial port"},
    {"sys,y", true, false, "set battery voltage"},
    {"abs,a", true, false, "set absorption voltage"},
    {"float,f", true, false, "set float voltage"},
    {"cellguard,b", true, false, "set cellguard mode"},
    {"current,c", true, false, "set charger current limit"},
    {"eqv,i", true, false, "set equalisation voltage"},
    {"autoeq,j", true, false, "set auto equalise mode"},
    {"tempcomp,k", true, false, "set temperature compensation"},
    {"abslim,m", true, false, "set absorption time limit"},
    {"table,t", false, false, "use factory defined battery table"},
    {"reset,r", false, false, "reset all settings to factory default settings"},
    {"erase,e", false, false, "clear history data"},
    {"clock,n", false, false, "sync clock"},
    {"switch-on", false, false, "switch the charger on"},
    {"switch-off", false, false, "switch the charger off"},
    {"download,o", true, false, "download settings from device to file"},
    {"upload,u", true, false, "upload settings from file to device"},
    {"force", false, false, "upload a file of another model, skipping what it lacks"},
    {"compare", true, false, "compare device settings with file, change nothing"},
    {"dry-run", false, false, "with settings to change or --upload: show the writes, make none"},
    {"scan", false, false, "list the MPPT chargers on all serial ports"},
    {"json", false, false, "write the result as JSON to standard output"},
    {"watch", false, false, "show the charger's live values until Ctrl-C (sends nothing)"},
    {"count", true, false, "with --watch: end after N blocks"},
    {"interval", true, false, "with --watch: at most one block per N seconds, the latest"},
    {"mqtt", true, false, "with --watch: publish to the MQTT broker mqtt[s]://HOST[:PORT]"},
    {"mqtt-user", true, false, "with --mqtt: the user name to log in with"},
    {"mqtt-password-file", true, false, "with --mqtt: the file whose first line is the password"},
    {"mqtt-cafile", true, false, "with mqtts://: the CA certificates to trust (PEM)"},
    {"mqtt-topic", true, false, "with --mqtt: the topic base (default chgtune/SERIAL)"},
    {"mqtt-discovery-prefix", true, false, "with --mqtt: Home Assistant's prefix (homeassistant)"},
    {"no-mqtt-discovery", false, false, "with --mqtt: publish no Home Assistant discovery"},
    {"quiet,q", false, false, "do not ping for devices on the bus"},
    {"version,V", false, false, "version"},
    {"?,?", false, true, "produce help message"},
    {"verbose,v", false, true, "verbose"},
};

}  // namespace

OptionGroups::OptionGroups()
    : visible("Allowed options"), hidden("Hidden options"), all("All options") {
  for (const OptionRow& row : optionTable) {
    po::options_description& group = row.hidden ? hidden : visible;
    if (row.takesText)
      group.add_options()(row.names, po::value<std::string>(), row.description);
    else
      group.add_options()(row.names, row.description);
  }
  all.add(visible).add(hidden);
}

CommandLine::CommandLine(int argc, const char* const argv[]) {
  OptionGroups groups;
  // No positional arguments are taken: a port named without --serial ("chgtune /dev/ttyUSB1") is
  // refused with the library's own message, instead of being dropped while every port of the
  // machine is probed.
  const po::positional_options_description noPositionals;
  po::store(po::command_line_parser(argc, argv).options(groups.all).positional(noPositionals).run(),
            values_);
  po::notify(values_);
}

std::string CommandLine::text(const std::string& name) const {
  const po::variable_value& value = values_[name];
  if (value.empty() || value.value().type() != typeid(std::string)) return std::string();
  return value.as<std::string>();
}

void printHelp(std::ostream& out) { out << OptionGroups().visible; }

}  // namespace sunlink
