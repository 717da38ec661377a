// chgsim: a simulated charger on a pseudo-terminal. Prints the path to open (the slave side) as the
// first line of standard output and answers until SIGINT or SIGTERM.
//
//   chgsim [--profile NAME] [--text-interval MS] [--day-seconds N] [fault options...]
//          [--list-profiles] [--verbose]
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/program_options.hpp>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"

namespace po = boost::program_options;
using namespace sunlink::sim;

namespace {

std::uint16_t parseRegisterId(const std::string& text) {
  std::size_t used = 0;
  unsigned long id = 0;
  try {
    id = std::stoul(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || id > 0xFFFF) {
    throw std::invalid_argument("not a register id: \"" + text + "\"");
  }
  return static_cast<std::uint16_t>(id);
}

std::set<std::uint16_t> registerSet(const std::vector<std::string>& texts) {
  std::set<std::uint16_t> ids;
  for (const std::string& text : texts) ids.insert(parseRegisterId(text));
  return ids;
}

// "ID" or "ID=FLAGS" (a number up to 0xFF; "ID" alone: 0x02, a get that fails).
std::map<std::uint16_t, std::uint8_t> registerFlags(const std::vector<std::string>& texts) {
  std::map<std::uint16_t, std::uint8_t> flags;
  for (const std::string& text : texts) {
    const std::size_t equals = text.find('=');
    std::uint8_t value = sunlink::FLAGS_NOT_SUPPORTED;
    if (equals != std::string::npos) {
      const std::uint16_t number = parseRegisterId(text.substr(equals + 1));
      if (number == 0 || number > 0xFF) {
        throw std::invalid_argument("not a flags byte (1 to 0xFF): \"" + text + "\"");
      }
      value = static_cast<std::uint8_t>(number);
    }
    flags[parseRegisterId(text.substr(0, equals))] = value;
  }
  return flags;
}

std::string unescape(const std::string& text);

// "ID=HEX" with the value's hex digits most significant first (as in a settings file), or
// "ID=text:..." for a text register (with the escapes of unescape, so that a model name can carry
// control characters).
std::pair<std::uint16_t, RegisterBytes> parseRegisterValue(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos)
    throw std::invalid_argument("expected ID=VALUE: \"" + text + "\"");
  const std::uint16_t id = parseRegisterId(text.substr(0, equals));
  const std::string value = text.substr(equals + 1);
  if (value.compare(0, 5, "text:") == 0) return {id, textBytes(unescape(value.substr(5)))};
  if (value.empty() || value.size() % 2 != 0 ||
      value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    throw std::invalid_argument("expected an even number of hex digits: \"" + value + "\"");
  }
  RegisterBytes bytes;
  for (std::size_t at = value.size(); at >= 2; at -= 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(value.substr(at - 2, 2), nullptr, 16)));
  }
  return {id, bytes};
}

// Garbage and texts are given on the command line with \r, \n, \t, \\ and \xHH escapes.
std::string unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'r') {
      bytes += '\r';
    } else if (c == 'n') {
      bytes += '\n';
    } else if (c == 't') {
      bytes += '\t';
    } else if (c == 'x' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      bytes += static_cast<char>(std::stoul(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

std::string hexValue(const RegisterBytes& value) {
  std::string text;
  char pair[3];
  for (auto it = value.rbegin(); it != value.rend(); ++it) {
    std::snprintf(pair, sizeof pair, "%02X", *it);
    text += pair;
  }
  return text;
}

// Everything the command line says, before it is checked.
struct Options {
  std::string profileName;
  int textIntervalMs = 1000;
  int daySeconds = 0;
  int error = 0;
  int latencyMs = 0;
  std::vector<std::string> refuseSet, refuseGet, flagsOnGet, wrongIdOnGet, registerValues;
  std::vector<std::string> textLabels;
  std::string silentOnRegister, garbage;
  Faults faults;  // the counts, filled in directly by the parser
};

// The charger and what its line carries unasked.
void describeChargerOptions(po::options_description& options, Options& o) {
  // clang-format off
  options.add_options()
    ("help,h", "show this help")
    ("list-profiles", "list the charger profiles and exit")
    ("profile", po::value(&o.profileName)->default_value("load115"), "charger profile")
    ("text-interval", po::value(&o.textIntervalMs)->default_value(1000),
     "milliseconds between TEXT blocks (0: none)")
    ("day-seconds", po::value(&o.daySeconds),
     "N: the TEXT blocks' live values go through a sunny day every N seconds, starting at "
     "sunrise: panel voltage and power follow the sun, the battery goes from bulk through "
     "absorption to float, the day's yield grows and rolls over to yesterday at midnight")
    ("verbose,v", "log every request and reply, and summarise the writes at the end, on stderr")
    ("register", po::value(&o.registerValues)->composing(),
     "ID=HEX: start with this register value (hex digits most significant first; "
     "ID=text:... for text, with \\r \\n \\t \\xHH escapes)")
    ("text-label", po::value(&o.textLabels)->composing(),
     "LABEL=VALUE: always send this value for the label in the TEXT blocks, whatever the day "
     "or an error would send (added when the profile has no such label; \\r \\n \\t \\xHH "
     "escapes)");
  // clang-format on
}

// The charger's faults, one switch each.
void describeFaultOptions(po::options_description& options, Options& o) {
  // clang-format off
  options.add_options()
    ("refuse-set", po::value(&o.refuseSet)->composing(),
     "ID: answer sets of this register with code 4")
    ("refuse-get", po::value(&o.refuseGet)->composing(),
     "ID: answer gets of this register with code 4")
    ("flags-on-get", po::value(&o.flagsOnGet)->composing(),
     "ID[=FLAGS]: answer gets of this register with this flags byte (default 0x02, a failed "
     "read; 0x01: unknown id, the charger has no such register)")
    ("wrong-id-on-get", po::value(&o.wrongIdOnGet)->composing(),
     "ID: answer gets of this register for the next register id")
    ("reception-errors", po::value(&o.faults.receptionErrors),
     "N: answer the first N requests with code 2, 0xAAAA")
    ("drop-replies", po::value(&o.faults.dropReplies), "N: do not send the first N replies")
    ("silent-after", po::value(&o.faults.silentAfter), "K: answer nothing after K requests")
    ("resume-after", po::value(&o.faults.resumeAfter),
     "K: with --silent-after, answer again after request K")
    ("silent-on-register", po::value(&o.silentOnRegister),
     "ID: go silent at the first get or set of this register ...")
    ("silent-requests", po::value(&o.faults.silentRequests),
     "N: ... for N requests, then answer again")
    ("unplug-after", po::value(&o.faults.unplugAfter), "K: close the line at request K+1")
    ("latency", po::value(&o.latencyMs), "MS: wait before each reply")
    ("pace", "send at the real line rate (10 bits per byte at 19200 baud)")
    ("bad-text-checksum", "send every TEXT block with a wrong checksum")
    ("error", po::value(&o.error),
     "N: raise error N (1 to 255) in the TEXT blocks (ERR), the charger in its fault state "
     "(CS 2; with --day-seconds, no charge)")
    ("bad-text-every", po::value(&o.faults.badTextEvery),
     "N: send every Nth TEXT block with a wrong checksum")
    ("text-flood", "send TEXT blocks back to back at the line rate")
    ("garbage", po::value(&o.garbage), "TEXT: bytes before each reply (\\r \\n \\t \\xHH escapes)")
    ("async-frames", "send an unasked code-0xA frame before each reply")
    ("short-ping", "answer ping without the version word")
    ("check-widths", "refuse (flags 0x04) a set whose width differs from the register's")
    ("refuse-switch-on", "answer the switch-on after a store (0x0200 set to 3) with code 4")
    ("ignore-switch-on", "never answer the switch-on after a store")
    ("refuse-switch-off", "answer the switch-off before a store (0x0200 set to 4) with code 4")
    ("ignore-switch-off", "never answer the switch-off before a store")
    ("switched-off", "start switched off (0x0200 holds 4)")
    ("busy", "hold the port as another program would: every other open of it is refused");
  // clang-format on
}

po::options_description describeOptions(Options& o) {
  po::options_description options("chgsim options");
  describeChargerOptions(options, o);
  describeFaultOptions(options, o);
  return options;
}

// The fault switches that are on when their option is given.
const struct {
  const char* option;
  bool Faults::*fault;
} kSwitches[] = {
    {"pace", &Faults::paceAtLineRate},
    {"bad-text-checksum", &Faults::badTextChecksum},
    {"text-flood", &Faults::textFlood},
    {"async-frames", &Faults::asyncBeforeReply},
    {"short-ping", &Faults::shortPing},
    {"check-widths", &Faults::checkWidths},
    {"refuse-switch-on", &Faults::refuseSwitchOn},
    {"ignore-switch-on", &Faults::ignoreSwitchOn},
    {"refuse-switch-off", &Faults::refuseSwitchOff},
    {"ignore-switch-off", &Faults::ignoreSwitchOff},
};

// The faults of the options. Throws std::invalid_argument for a register id or text it cannot
// read.
Faults faultsOf(const Options& o, const po::variables_map& vm) {
  Faults faults = o.faults;
  faults.refuseSet = registerSet(o.refuseSet);
  faults.refuseGet = registerSet(o.refuseGet);
  faults.flagsOnGet = registerFlags(o.flagsOnGet);
  faults.wrongIdOnGet = registerSet(o.wrongIdOnGet);
  if (!o.silentOnRegister.empty()) faults.silentOnRegister = parseRegisterId(o.silentOnRegister);
  faults.latency = std::chrono::milliseconds(o.latencyMs);
  faults.textInterval = std::chrono::milliseconds(o.textIntervalMs);
  if (o.daySeconds < 0)
    throw std::invalid_argument("not a day length in seconds: " + std::to_string(o.daySeconds));
  faults.dayLength = std::chrono::seconds(o.daySeconds);
  if (o.error < 0 || o.error > 255)
    throw std::invalid_argument("not an error code (1 to 255): " + std::to_string(o.error));
  faults.textError = o.error;
  faults.garbage = unescape(o.garbage);
  for (const auto& entry : kSwitches) faults.*entry.fault = vm.count(entry.option) > 0;
  return faults;
}

// The profile with the register values and TEXT labels of the options. Throws
// std::invalid_argument for an unknown profile or a register value or label it cannot read.
Profile profileOf(const Options& o, const po::variables_map& vm) {
  Profile profile = profileByName(o.profileName);
  if (vm.count("switched-off"))
    profile.registers[sunlink::REG_DEVICE_MODE] = u16(sunlink::DEVICE_MODE_OFF);
  for (const std::string& text : o.registerValues) {
    auto entry = parseRegisterValue(text);
    profile.registers[entry.first] = entry.second;
  }
  for (const std::string& text : o.textLabels) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
      throw std::invalid_argument("expected LABEL=VALUE: \"" + text + "\"");
    setTextLabel(profile, text.substr(0, equals), unescape(text.substr(equals + 1)));
  }
  return profile;
}

// Starts answering, prints the path, and returns on SIGINT or SIGTERM. A busy port is claimed the
// way chgtune claims one, so that the next program to open it finds it in use, as when a terminal
// program or a second chgtune holds a real charger's port.
void serveUntilSignalled(ChargerSim& sim, bool busy) {
  boost::asio::io_context io;
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  // Before the path is printed: whoever reads it may send the signal at once.
  signals.async_wait([](const boost::system::error_code&, int) {});
  const std::string path = sim.start();
  sunlink::SerialPortHandle holder = -1;
  if (busy) {
    boost::system::error_code ec;
    holder = sunlink::openSerialPortExclusive(path, ec);
    if (ec) throw std::runtime_error("cannot hold " + path + ": " + ec.message());
  }
  std::cout << path << std::endl;
  io.run();
  if (holder >= 0) sunlink::closeSerialPort(holder);
}

void printSummary(const ChargerSim& sim) {
  std::cerr << "chgsim: " << sim.requestCount() << " requests, " << sim.damagedRequestCount()
            << " damaged, " << sim.replyCount() << " replies, " << sim.textBlockCount()
            << " TEXT blocks\n";
  std::cerr << "chgsim: " << sim.bytesReceived() << " bytes received, " << sim.bytesSent()
            << " bytes sent\n";
  for (const Write& write : sim.writes()) {
    char id[8];
    std::snprintf(id, sizeof id, "0x%04X", write.id);
    std::cerr << "chgsim: write " << id << " = " << hexValue(write.value) << "\n";
  }
  std::cerr << "chgsim: charger " << (sim.chargerOn() ? "on" : "off") << "\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  Options o;
  const po::options_description options = describeOptions(o);
  po::variables_map vm;
  try {
    po::store(po::parse_command_line(argc, argv, options), vm);
    po::notify(vm);
  } catch (const po::error& e) {
    std::cerr << "chgsim: " << e.what() << "\n";
    return 2;
  }
  if (vm.count("help")) {
    std::cout << "Usage: chgsim [options]\n" << options;
    return 0;
  }
  if (vm.count("list-profiles")) {
    for (const std::string& name : profileNames()) {
      std::cout << name << "  " << profileByName(name).description << "\n";
    }
    return 0;
  }

  std::unique_ptr<ChargerSim> sim;
  try {
    const Faults faults = faultsOf(o, vm);
    sim = std::make_unique<ChargerSim>(profileOf(o, vm), faults);
  } catch (const std::exception& e) {
    std::cerr << "chgsim: " << e.what() << "\n";
    return 2;
  }

  const bool verbose = vm.count("verbose") > 0;
  if (verbose) sim->setTrafficLog([](const std::string& line) { std::cerr << line << std::endl; });
  try {
    serveUntilSignalled(*sim, vm.count("busy") > 0);
  } catch (const std::exception& e) {
    std::cerr << "chgsim: " << e.what() << "\n";
    return 1;
  }
  sim->stop();
  if (verbose) printSummary(*sim);
  return 0;
}
