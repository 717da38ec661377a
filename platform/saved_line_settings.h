// For the systems' serial port files: the line settings a port had before this program changed
// them, kept as the work that puts them back (restoreSerialPortSettings runs it).
#pragma once

#include <functional>

#include "platform/serial_port.h"

namespace sunlink {

// Keeps putBack for port until restoreSerialPortSettings(port); until then a termination request
// that ends the run runs it too (platform/signals.h). putBack runs on any thread and must hold
// copies of what it needs.
void keepLineSettings(SerialPortHandle port, std::function<void()> putBack);

}  // namespace sunlink
