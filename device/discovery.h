// Finding the charger on the machine's serial ports.
//
// Each port is opened and started in turn, with its own link, TEXT parser and HEX client; the first
// port where an MPPT charger is found is handed back running. By default each port is asked for its
// device id; quiet discovery sends nothing and decides from the TEXT blocks a charger sends
// unasked, so other equipment on the line is never disturbed. Main thread only.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange_timeouts.h"

namespace sunlink {

class QmxSerial;
class TextDictionary;

// A port discovery tried, and what it gave, in a few words: "no answer", "not a charger",
// "invalid answer", "busy", "permission denied", "missing", "cannot open" (another reason the port
// did not open) or "failed" (it opened, then failed). Empty for the port that held the charger.
struct TriedPort {
  std::string port;
  std::string answer;
};

// Walks the machine's serial ports (listSerialPorts) and returns the first one where an MPPT
// charger answers, started and running, with timeouts; portName then holds its path. None found:
// nullptr, portName holds the last port probed. Prints one "Checking: ..." line per port on out.
// tried, when given, gets every port probed with its answer, in order.
std::unique_ptr<QmxSerial> locateDevice(std::string& portName, bool quiet,
                                        const ExchangeTimeouts& timeouts, std::ostream& out,
                                        std::vector<TriedPort>* tried = nullptr);
// The same over a given port list.
std::unique_ptr<QmxSerial> locateDeviceOn(const std::vector<std::string>& ports,
                                          std::string& portName, bool quiet,
                                          const ExchangeTimeouts& timeouts, std::ostream& out,
                                          std::vector<TriedPort>* tried = nullptr);
// Probes one port: prints "Checking: NAME" and its verdict; returns the started link or nullptr.
// A rejected port's link is stopped (port closed, reader joined) before it is destroyed. When the
// port could not be probed at all (busy, no permission, gone, failing) and failure is given, it
// gets the reason, which names the port ("open /dev/ttyUSB0: Device or resource busy"), and the
// reason is written to out on a line of its own after the verdict; it is left alone otherwise.
// answer, when given, gets what the port gave (TriedPort).
std::unique_ptr<QmxSerial> probePort(const std::string& name, bool quiet,
                                     const ExchangeTimeouts& timeouts, std::ostream& out,
                                     std::string* failure = nullptr, std::string* answer = nullptr);

// The line said before "Unable to detect a MPPT charger.", so that the user learns which ports were
// tried and why none would do: "Ports tried: /dev/ttyS0 (no answer), /dev/ttyUSB0 (busy)", or
// "no serial ports found" when there were none to try.
std::string triedPortsLine(const std::vector<TriedPort>& tried);

// Said once per run, when a port could not be opened for lack of permission: the user must be in
// the group that owns the device node (named from the node, typically "dialout").
void hintPortPermission(const std::string& port, std::ostream& err);

// A TEXT block's "PID" value: "0x" followed by hex digits. What follows the digits is ignored;
// anything that does not fit 16 bits is no product id.
bool readProductId(const std::string& text, std::uint32_t& id);

// Quiet discovery's verdict on the identity entries collected from a port (at least 3 of them):
// a "PID" that reads as "0x" + hex an MPPT product id; or no "PID" and a "prod" beginning with
// "MPPT"; or neither label at all.
bool textNamesMpptCharger(const TextDictionary& dictionary);

}  // namespace sunlink
