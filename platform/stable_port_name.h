// The stable name of a serial port: the one the system keeps for the same adapter whatever order
// the ports appear in at boot, for a user who must tell several chargers apart.
#pragma once

#include <string>

namespace sunlink {

// Linux: the link in /dev/serial/by-id that leads to port (after following every link on both
// sides), as its full path; empty when there is none (a port built into the machine, a
// pseudo-terminal). Windows: always empty (COM names are already kept per adapter).
std::string stablePortName(const std::string& port);

// Linux: the same over a given folder of links, for tests. The first match in name order.
std::string stablePortName(const std::string& port, const std::string& byIdFolder);

}  // namespace sunlink
