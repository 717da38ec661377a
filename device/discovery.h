// Finding the charger on the machine's serial ports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "protocol/exchange_timeouts.h"

namespace sunlink {

class QmxSerial;

// Walks the machine's serial ports (listSerialPorts) and returns the first one where an MPPT charger
// answers, started and running; portName then holds its path. None found: nullptr, portName holds
// the last port probed. Prints one "Checking: ..." line per port on standard output.
std::unique_ptr<QmxSerial> locateDevice(std::string& portName, bool quiet);
// The same over a given port list, with given time-outs (tests) and output stream.
std::unique_ptr<QmxSerial> locateDeviceOn(const std::vector<std::string>& ports,
                                          std::string& portName, bool quiet,
                                          const ExchangeTimeouts& timeouts, std::ostream& out);
// Probes one port: prints "Checking: NAME" and its verdict; returns the started link or nullptr.
std::unique_ptr<QmxSerial> probePort(const std::string& name, bool quiet,
                                     const ExchangeTimeouts& timeouts, std::ostream& out);

}  // namespace sunlink
