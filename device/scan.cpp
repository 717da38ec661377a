#include "device/scan.h"

#include <mutex>
#include <ostream>
#include <thread>

#include "base/errors.h"
#include "base/progress_line.h"
#include "base/shown_text.h"
#include "device/capabilities.h"
#include "device/discovery.h"
#include "link/qmx_serial.h"
#include "platform/clock.h"
#include "platform/stable_port_name.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "protocol/text_parser.h"
#include "protocol/version_word.h"

namespace sunlink {

namespace {

// The TEXT blocks' firmware label holds the version's digits without the point ("115" is 1.15).
std::string textFirmware(const std::string& digits) {
  if (digits.size() < 3) return digits;
  return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

// Identity read over HEX: the same read requests identification starts with. A charger that stops
// answering half-way keeps what was learnt.
void identifyByRequests(QmxSerial& link, ScannedCharger& charger) {
  std::lock_guard<std::recursive_mutex> lock(link.linkLock());
  HexProtocol hex(link);
  try {
    std::uint16_t id = 0;
    if (hex.getDeviceId(id)) charger.productId = id;
    std::uint16_t version = 0;
    if (hex.ping(version)) charger.firmware = VersionWord(version).versionText();
    charger.name = productName(hex, charger.productId, VersionWord(version));
  } catch (const no_response&) {
  }
}

// Listens for the charger's TEXT blocks until one carried its serial number or the limit passed,
// and takes what they say. Quiet scanning takes the product and firmware from them too.
void listenForSerialNumber(QmxSerial& link, ScannedCharger& charger, bool quiet,
                           const ExchangeTimeouts& timeouts) {
  TextDictionary dictionary;
  {
    QmxGetParser parser(link, dictionary);
    const std::int64_t end =
        monotonicMicros() +
        std::chrono::duration_cast<std::chrono::microseconds>(timeouts.listenLimit).count();
    QmxValue entry;
    while (!dictionary.lookup("SER#", entry) && monotonicMicros() < end)
      std::this_thread::sleep_for(timeouts.listenCycle);
  }
  QmxValue entry;
  if (dictionary.lookup("SER#", entry)) charger.serial = entry.value;
  if (!quiet) return;
  if (dictionary.lookup("PID", entry)) {
    std::uint32_t id = 0;
    if (readProductId(entry.value, id)) {
      charger.productId = static_cast<std::uint16_t>(id);
      if (std::optional<std::string> name = lookupProductName(charger.productId))
        charger.name = *name;
    }
  }
  if (dictionary.lookup("FW", entry)) charger.firmware = textFirmware(entry.value);
}

}  // namespace

ScanResult scanPorts(const std::vector<std::string>& ports, bool quiet,
                     const ExchangeTimeouts& timeouts, std::ostream& progress) {
  ScanResult result;
  std::vector<ScannedCharger>& chargers = result.chargers;
  const ProgressScope shown;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const std::string& port = ports[i];
    // A port named on the command line is the user's text: shown, never obeyed.
    showProgress(shownText("Probing " + port + " (" + std::to_string(i + 1) + " of " +
                           std::to_string(ports.size()) + ")") +
                 "\u2026");
    std::string failure;
    std::string answer;
    std::unique_ptr<QmxSerial> link = probePort(port, quiet, timeouts, progress, &failure, &answer);
    result.ports.push_back({port, failure, answer});
    if (!link) continue;
    ScannedCharger charger;
    charger.port = port;
    charger.stableName = stablePortName(port);
    try {
      if (!quiet) identifyByRequests(*link, charger);
      listenForSerialNumber(*link, charger, quiet, timeouts);
    } catch (const std::exception&) {
      // A port that fails half-way (an adapter pulled out) still held a charger: listed with what
      // was learnt.
    }
    chargers.push_back(charger);
    // Closed before the next port is opened, its line settings put back.
    try {
      link->stop();
    } catch (...) {
    }
  }
  return result;
}

std::string scanLine(const ScannedCharger& charger) {
  std::string line = charger.port;
  if (!charger.stableName.empty()) line += " (" + charger.stableName + ")";
  line +=
      ": " + (charger.name.empty() ? "product " + registerIdText(charger.productId) : charger.name);
  line += ", firmware " + (charger.firmware.empty() ? std::string("unknown") : charger.firmware);
  line += charger.serial.empty() ? ", no serial number" : ", serial " + charger.serial;
  // Name, serial number and firmware are the charger's own texts, the stable name the adapter's:
  // shown, never obeyed.
  return shownText(line);
}

}  // namespace sunlink
