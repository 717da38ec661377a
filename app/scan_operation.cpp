#include "app/scan_operation.h"

#include <ostream>
#include <string>
#include <vector>

#include "base/statuses.h"
#include "device/discovery.h"
#include "device/scan.h"
#include "platform/serial_ports.h"

namespace sunlink {

namespace {

// The ports that could not be probed, named in scan order: "" when every one was.
std::string portsNotProbed(const ScanResult& scan) {
  std::string names;
  for (const ScannedPort& port : scan.ports) {
    if (!port.failure.empty()) names += (names.empty() ? "" : ", ") + port.port;
  }
  return names;
}

}  // namespace

int scanForChargers(ChgtuneRun& run) {
  const CommandLine& options = run.options();
  RunOutput& output = run.output();
  const std::vector<std::string> ports =
      options.has("serial") ? std::vector<std::string>{options.text("serial")} : listSerialPorts();
  // The "Checking: ..." lines are progress: the program's lines carry only the chargers found.
  const ScanResult scan = scanPorts(ports, options.has("quiet"), run.timeouts(), output.err());
  if (JsonReport* report = output.report()) {
    report->setChargers(scan.chargers);
    report->setPorts(scan.ports);
  } else {
    for (const ScannedCharger& charger : scan.chargers) output.lines() << scanLine(charger) << '\n';
  }
  if (!scan.chargers.empty()) return output.answer(kExitOk);
  const std::string notProbed = portsNotProbed(scan);
  if (notProbed.empty()) {
    std::vector<TriedPort> tried;
    for (const ScannedPort& port : scan.ports) tried.push_back({port.port, port.answer});
    output.err() << triedPortsLine(tried) << '\n'
                 << "Unable to detect a MPPT charger." << std::endl;
    return output.answer(kExitNoCharger);
  }
  const std::string message = "No MPPT charger found; not probed: " + notProbed;
  output.err() << message << std::endl;
  output.noteFailure(message);
  return kExitFailure;
}

}  // namespace sunlink
