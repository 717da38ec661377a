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
  // What the option's value is, as the help listing names it ("--abs VOLTS"): its unit or its
  // form. Null for a switch, which takes no value.
  const char* value;
  bool hidden;
  const char* description;
};

// The option table, in declaration order (which is also the order of the help listing).
// --version is a capital V and --verbose a small v; -? is a second name for help that stays out
// of the listing.
constexpr OptionRow optionTable[] = {
    {"dump,d", nullptr, false, "dump communication to output"},
    {"help,h", nullptr, false, "produce help message"},
    {"get,g", nullptr, false, "retrieve data, do not change anything"},
    {"serial,s", "PORT", false, "serial port"},
    {"sys,y", "VOLTS", false, "set battery voltage"},
    {"abs,a", "VOLTS", false, "set absorption voltage"},
    {"float,f", "VOLTS", false, "set float voltage"},
    {"cellguard,b", "0|1", false, "set cellguard mode"},
    {"current,c", "AMPS", false, "set charger current limit"},
    {"eqv,i", "VOLTS", false, "set equalisation voltage"},
    {"autoeq,j", "DAYS", false, "set auto equalise mode"},
    {"tempcomp,k", "MV_PER_K", false, "set temperature compensation"},
    {"abslim,m", "HOURS", false, "set absorption time limit"},
    {"table,t", nullptr, false, "use factory defined battery table"},
    {"reset,r", nullptr, false, "reset all settings to factory default settings"},
    {"erase,e", nullptr, false, "clear history data"},
    {"clock,n", nullptr, false, "sync clock"},
    {"switch-on", nullptr, false, "switch the charger on"},
    {"switch-off", nullptr, false, "switch the charger off"},
    {"download,o", "FILE", false, "download settings from device to file"},
    {"upload,u", "FILE", false, "upload settings from file to device"},
    {"force", nullptr, false, "upload a file of another model, skipping what it lacks"},
    {"compare", "FILE", false, "compare device settings with file, change nothing"},
    {"dry-run", nullptr, false, "with settings to change or --upload: show the writes, make none"},
    {"scan", nullptr, false, "list the MPPT chargers on all serial ports"},
    {"json", nullptr, false, "write the result as JSON to standard output"},
    {"watch", nullptr, false, "show the charger's live values until Ctrl-C (sends nothing)"},
    {"count", "N", false, "with --watch: end after N blocks"},
    {"interval", "SECONDS", false, "with --watch: at most one block each SECONDS, the latest"},
    {"mqtt", "URL", false, "with --watch: publish to the MQTT broker mqtt[s]://HOST[:PORT]"},
    {"mqtt-user", "NAME", false, "with --mqtt: the user name to log in with"},
    {"mqtt-password-file", "FILE", false, "with --mqtt: the file whose first line is the password"},
    {"mqtt-cafile", "FILE", false, "with mqtts://: the CA certificates to trust (PEM)"},
    {"mqtt-topic", "BASE", false, "with --mqtt: the topic base (default chgtune/SERIAL)"},
    {"mqtt-discovery-prefix", "PREFIX", false,
     "with --mqtt: Home Assistant's prefix (homeassistant)"},
    {"no-mqtt-discovery", nullptr, false, "with --mqtt: publish no Home Assistant discovery"},
    {"quiet,q", nullptr, false, "do not ping for devices on the bus"},
    {"version,V", nullptr, false, "version"},
    {"?,?", nullptr, true, "produce help message"},
    {"verbose,v", nullptr, true, "verbose"},
};

}  // namespace

OptionGroups::OptionGroups()
    : visible("Allowed options"), hidden("Hidden options"), all("All options") {
  for (const OptionRow& row : optionTable) {
    po::options_description& group = row.hidden ? hidden : visible;
    if (row.value != nullptr)
      group.add_options()(row.names, po::value<std::string>()->value_name(row.value),
                          row.description);
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
