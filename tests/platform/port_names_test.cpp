// Port names: natural order, the COM ports of a DOS device list, the device path Windows opens.
#include "platform/port_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sunlink {
namespace {

TEST(PortNamesTest, NaturalOrderComparesNumbersAsNumbers) {
  std::vector<std::string> names = {"COM10", "ttyUSB10", "COM2",    "ttyUSB2", "COM1",
                                    "ttyS0", "COM02",    "ttyACM0", "COM100",  "ttyUSB0"};
  std::sort(names.begin(), names.end(), naturalLess);
  const std::vector<std::string> expected = {"COM1",    "COM2",  "COM02",   "COM10",   "COM100",
                                             "ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB2", "ttyUSB10"};
  EXPECT_EQ(names, expected);
}

// A DOS device list as QueryDosDeviceW fills it: each name ended by a NUL, then an empty name.
std::wstring dosList(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const std::wstring& name : names) list += name + L'\0';
  return list + L'\0';
}

TEST(PortNamesTest, ComPortsOfADosDeviceList) {
  struct Case {
    const char* name;
    std::wstring list;
    std::vector<std::string> ports;
  };
  const Case cases[] = {
      {"every name beginning with COM, in natural order",
       dosList({L"COM10", L"LPT1", L"C:", L"COM2", L"COMX", L"COM1"}),
       {"COM1", "COM2", "COM10", "COMX"}},
      {"the capitals only", dosList({L"Com3", L"com4", L"CO", L"COM5"}), {"COM5"}},
      {"a name outside ASCII is no port", dosList({L"COM\u00e96", L"COM7"}), {"COM7"}},
      {"the list may end with the buffer instead of an empty name",
       dosList({L"COM3", L"COM4"}).substr(0, 9),
       {"COM3", "COM4"}},
      {"an empty list", dosList({}), {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(comPortNames(c.list.data(), c.list.size()), c.ports) << c.name;
  }
}

TEST(PortNamesTest, WindowsDevicePathGetsThePrefixOnlyWhenMissing) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM3", "\\\\.\\COM3"},        {"COM12", "\\\\.\\COM12"}, {"\\\\.\\COM12", "\\\\.\\COM12"},
      {"\\\\?\\COM4", "\\\\?\\COM4"}, {"//./COM5", "//./COM5"},
  };
  for (const auto& c : cases) EXPECT_EQ(windowsDevicePath(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace sunlink
