// The machine's serial devices.
#pragma once

#include <string>
#include <vector>

namespace sunlink {

// Serial devices from sysfs (<sysRoot>/class/tty/* entries with a `device` link, leaving out legacy
// 8250/16550 ports whose UART type is unknown and the ports the kernel uses as its console), as
// <devRoot>/NAME paths in natural order (ttyACM0, ttyS2, ttyUSB0, ttyUSB2, ttyUSB10).
std::vector<std::string> listSerialPorts(const std::string& sysRoot = "/sys",
                                         const std::string& devRoot = "/dev");

}  // namespace sunlink
