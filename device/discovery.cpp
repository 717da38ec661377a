#include "device/discovery.h"

#include <atomic>
#include <boost/system/system_error.hpp>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "base/errors.h"
#include "base/log.h"
#include "base/shown_text.h"
#include "link/qmx_serial.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/serial_ports.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "protocol/text_parser.h"

namespace sunlink {

namespace {

// Quiet discovery decides once this many identity labels have been seen on a port.
constexpr std::size_t kEnoughEntries = 3;

const char* const kFound = " => MPPT charger found";

struct Outcome {
  bool found;
  const char* verdict;
  const char* answer;  // what the port gave, for the list of the ports tried (TriedPort)
};

// Stops a link before it is destroyed: destroying a running link would leave its reader thread
// working on a freed object. A failure to close is of no interest for a port being given up.
void discard(std::unique_ptr<QmxSerial> link) {
  if (!link) return;
  try {
    link->stop();
  } catch (...) {
  }
}

// Asks the device for its id, holding the link lock for the exchange.
Outcome askForDeviceId(QmxSerial& link, HexProtocol& hex) {
  std::lock_guard<std::recursive_mutex> lock(link.linkLock());
  try {
    std::uint16_t id = 0;
    if (!hex.getDeviceId(id)) return {false, " => invalid response, skipped", "invalid answer"};
    if (isMpptProductId(id)) return {true, kFound, ""};
    return {false, " => no mppt charger, skipped", "not a charger"};
  } catch (const no_response&) {
    return {false, " => no response, skipped", "no answer"};
  }
}

// Listens in cycles until enough identity labels are known or the limit passes. The limit counts
// whole seconds on the monotonic clock, so a wall clock set during the wait neither cuts it short
// nor stretches it. Damaged TEXT blocks mean a device is talking, perhaps at a bad moment: it is
// given the longer limit.
bool listenForIdentity(QmxSerial& link, const TextDictionary& dictionary,
                       const ExchangeTimeouts& timeouts) {
  const std::int64_t start = monotonicMicros() / 1000000;
  std::int64_t limit = timeouts.listenLimit.count();
  do {
    std::this_thread::sleep_for(timeouts.listenCycle);
    if (link.errorCount() != 0) limit = timeouts.listenLimitGarbled.count();
    if (dictionary.size() >= kEnoughEntries) return true;
  } while (monotonicMicros() / 1000000 < start + limit);
  return false;
}

Outcome listenForCharger(QmxSerial& link, const TextDictionary& dictionary,
                         const ExchangeTimeouts& timeouts) {
  // Too little TEXT data to decide is silence as far as the user can tell.
  if (!listenForIdentity(link, dictionary, timeouts)) return {false, " => skipped", "no answer"};
  if (textNamesMpptCharger(dictionary)) return {true, kFound, ""};
  return {false, " => skipped", "not a charger"};
}

}  // namespace

bool readProductId(const std::string& text, std::uint32_t& id) {
  if (text.compare(0, 2, "0x") != 0) return false;
  const char* digits = text.c_str() + 2;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(digits, &end, 16);
  if (end == digits || errno == ERANGE || value > 0xFFFF) return false;
  id = static_cast<std::uint32_t>(value);
  return true;
}

void hintPortPermission(const std::string& port, std::ostream& err) {
  static std::atomic<bool> given{false};
  if (given.exchange(true)) return;
  const std::string group = serialPortGroup(port);
  if (group.empty()) {
    err << "Hint: you may not open " << port << ", and no group of users may: run chgtune as a "
        << "user who may, or have the port given to a group such as \"dialout\"." << std::endl;
  } else {
    err << "Hint: you may not open " << port << "; serial ports are opened by the members of the "
        << "group that owns them: add your user to \"" << group << "\" (sudo usermod -a -G "
        << group << " $USER) and log in again." << std::endl;
  }
}

bool textNamesMpptCharger(const TextDictionary& dictionary) {
  QmxValue entry;
  if (dictionary.lookup("PID", entry)) {
    std::uint32_t id = 0;
    return readProductId(entry.value, id) && isMpptProductId(id);
  }
  if (!dictionary.lookup("prod", entry)) return true;
  return entry.value.compare(0, 4, "MPPT") == 0;
}

std::unique_ptr<QmxSerial> probePort(const std::string& name, bool quiet,
                                     const ExchangeTimeouts& timeouts, std::ostream& out,
                                     std::string* failure, std::string* answer) {
  const auto gave = [answer](const std::string& what) {
    if (answer != nullptr) *answer = what;
  };
  // Why a port could not be probed is for whoever asked for it (--scan), on its own line after
  // the verdict; otherwise only for --verbose.
  const auto notProbed = [&](const std::string& reason) {
    if (failure == nullptr) return;
    *failure = reason;
    out << reason << "\n" << std::flush;
  };
  out << "Checking: " << name << std::flush;
  std::unique_ptr<QmxSerial> link;
  try {
    link = std::make_unique<QmxSerial>(name);
    link->timeouts = timeouts;
    link->start();
  } catch (const std::exception& e) {
    discard(std::move(link));
    out << " => unable to open port\n" << std::flush;
    // The verdict stays short; when the user lacks the permission, it is worth a hint.
    logInfo("serial", "%s", e.what());
    notProbed(e.what());
    const auto* systemError = dynamic_cast<const boost::system::system_error*>(&e);
    const std::string kind = systemError ? portOpenFailureKind(systemError->code()) : "";
    gave(kind.empty() ? "cannot open" : kind);
    if (systemError && systemError->code() == boost::system::errc::permission_denied)
      hintPortPermission(name, std::cerr);
    return nullptr;
  } catch (...) {
    discard(std::move(link));
    out << " => unable to open port\n" << std::flush;
    notProbed("open " + name + ": unknown failure");
    gave("cannot open");
    return nullptr;
  }

  Outcome outcome{false, " => unable to open port", "failed"};
  std::string broke;
  {
    // Released in reverse order: the HEX client, the parser, then the dictionary it fills.
    TextDictionary dictionary;
    QmxGetParser parser(*link, dictionary);
    HexProtocol hex(*link);
    try {
      outcome = quiet ? listenForCharger(*link, dictionary, timeouts) : askForDeviceId(*link, hex);
    } catch (const std::exception& e) {
      // A port that opens but then fails to write (an adapter pulled out while being probed) is
      // as unusable as one that does not open; discovery goes on with the next port.
      broke = name + ": " + e.what();
    }
  }
  out << outcome.verdict << "\n" << std::flush;
  gave(outcome.answer);
  if (!broke.empty()) notProbed(broke);
  if (outcome.found) return link;
  discard(std::move(link));
  return nullptr;
}

std::unique_ptr<QmxSerial> locateDeviceOn(const std::vector<std::string>& ports,
                                          std::string& portName, bool quiet,
                                          const ExchangeTimeouts& timeouts, std::ostream& out,
                                          std::vector<TriedPort>* tried) {
  for (const std::string& port : ports) {
    portName = port;
    std::string answer;
    std::unique_ptr<QmxSerial> link = probePort(port, quiet, timeouts, out, nullptr, &answer);
    if (tried != nullptr) tried->push_back({port, answer});
    if (link) return link;
  }
  return nullptr;
}

std::unique_ptr<QmxSerial> locateDevice(std::string& portName, bool quiet,
                                        const ExchangeTimeouts& timeouts, std::ostream& out,
                                        std::vector<TriedPort>* tried) {
  return locateDeviceOn(listSerialPorts(), portName, quiet, timeouts, out, tried);
}

std::string triedPortsLine(const std::vector<TriedPort>& tried) {
  if (tried.empty()) return "no serial ports found";
  std::string line = "Ports tried: ";
  for (std::size_t i = 0; i < tried.size(); ++i) {
    if (i != 0) line += ", ";
    line += tried[i].port + " (" + tried[i].answer + ")";
  }
  // A port name comes from the machine, but is shown, never obeyed.
  return shownText(line);
}

}  // namespace sunlink
