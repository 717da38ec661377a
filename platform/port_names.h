// Port names: the order ports are listed in, and the forms Windows hands out and takes. Plain text
// work, shared by every system's port code, so it is tested everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sunlink {

// Natural order: runs of digits compare as numbers, so ttyUSB2 comes before ttyUSB10 and COM2
// before COM10; equal numbers with fewer leading zeros come first.
bool naturalLess(const std::string& a, const std::string& b);

// The serial ports in a DOS device list (the names QueryDosDeviceW gives without a device name:
// NUL-terminated names one after another, ended by an empty name or by size): the names that
// begin with "COM" (exactly these capitals), in natural order. A name with a character outside
// ASCII is no port name and is left out.
std::vector<std::string> comPortNames(const wchar_t* list, std::size_t size);

// The name under which Windows opens a port: COM3 becomes \\.\COM3 (only that form reaches COM10
// and above); a name that already starts with \\ or // is a device path and is kept as it is.
std::string windowsDevicePath(const std::string& name);

}  // namespace sunlink
