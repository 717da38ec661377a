// Listing the MPPT chargers on the machine's serial ports, for a user with several of them who must
// tell them apart (and choose the --serial of each). Every port is probed as discovery probes it,
// and none is kept: nothing is written to any charger, and each port is closed again with its line
// settings put back. Main thread only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/exchange_timeouts.h"

namespace sunlink {

struct ScannedCharger {
  std::string port;
  std::string stableName;  // the port's link under /dev/serial/by-id; empty when it has none
  std::uint16_t productId = 0xFFFF;
  std::string name;      // product name; empty when unknown
  std::string firmware;  // "1.15"; empty when unknown
  std::string serial;    // from the charger's TEXT blocks; empty when none came in time
};

// A port as the scan left it.
struct ScannedPort {
  std::string port;
  // Why the port could not be probed (busy, no permission, gone), naming it; empty when it was.
  std::string failure;
  // What the port gave, in discovery's few words (TriedPort); empty for a charger.
  std::string answer;
};

struct ScanResult {
  std::vector<ScannedCharger> chargers;
  std::vector<ScannedPort> ports;  // every port, in scan order
};

// Probes each port in turn (probePort: the "Checking: ..." lines go to progress, followed by the
// reason for each port that could not be probed) and identifies every MPPT charger found: by
// default with a ping and a device-id request (and the model-name register for a product the
// program does not know); quietly, from the TEXT blocks alone. The serial number is the SER#
// label of the charger's TEXT blocks, waited for up to timeouts.listenLimit. A port that could not
// be probed may hold a charger: "no charger found" is only the answer when every port was probed.
ScanResult scanPorts(const std::vector<std::string>& ports, bool quiet,
                     const ExchangeTimeouts& timeouts, std::ostream& progress);

// The charger as one line:
//   /dev/ttyUSB0 (/dev/serial/by-id/usb-...): MPPT 75/15, firmware 1.15, serial HQ1234ABCDE
// with "product 0xA07F" for a product without a name and "no serial number" when none came.
// The charger's texts in it are shown through shownText: control characters come out escaped.
std::string scanLine(const ScannedCharger& charger);

}  // namespace sunlink
