#include <windows.h>

#include <stdexcept>

#include "platform/port_names.h"
#include "platform/serial_ports.h"

namespace sunlink {

std::vector<std::string> listSerialPorts() {
  // Every DOS device name of the machine, in one buffer. The list has no size limit of its own:
  // a buffer that is too small is doubled, up to a bound no machine comes near.
  constexpr std::size_t kFirstSize = 0x1FFFC;
  constexpr std::size_t kLargestSize = kFirstSize * 64;
  std::vector<wchar_t> buffer(kFirstSize);
  for (;;) {
    const DWORD length = QueryDosDeviceW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length != 0) return comPortNames(buffer.data(), length);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    if (buffer.size() >= kLargestSize)
      throw std::runtime_error("locateDevice: buffer size too small");
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace sunlink
