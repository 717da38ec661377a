// The machine's serial devices.
#pragma once

#include <string>
#include <vector>

namespace sunlink {

// The machine's serial ports in natural order (port_names.h), as the names the link opens.
// Linux: the devices listSerialPorts("/sys", "/dev") finds. Windows: the DOS device names that
// begin with "COM" (COM1, COM3, COM12), without the "\\.\" prefix, which the link adds.
std::vector<std::string> listSerialPorts();

// Linux: serial devices from sysfs (<sysRoot>/class/tty/* entries with a `device` link, leaving out
// legacy 8250/16550 ports whose UART type is unknown and the ports the kernel uses as its console),
// as <devRoot>/NAME paths in natural order (ttyACM0, ttyS2, ttyUSB0, ttyUSB2, ttyUSB10).
std::vector<std::string> listSerialPorts(const std::string& sysRoot, const std::string& devRoot);

}  // namespace sunlink
