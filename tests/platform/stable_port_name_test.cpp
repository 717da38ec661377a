// The stable name of a port: a link in the by-id folder that leads to it, followed through links.
#include "platform/stable_port_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/e2e_support.h"

namespace sunlink {
namespace {

namespace fs = std::filesystem;

TEST(StablePortName, FindsTheLinkThatLeadsToThePort) {
  test::TempDir dir;
  fs::create_directory(dir.file("dev"));
  fs::create_directory(dir.file("by-id"));
  for (const char* port : {"ttyUSB0", "ttyUSB1", "ttyUSB2"}) std::ofstream(dir.file("dev/") + port);
  // As udev makes them: relative links, and a second name for one port through another link.
  fs::create_symlink("../dev/ttyUSB1", dir.file("by-id/usb-Maker_Adapter_A1-if00-port0"));
  fs::create_symlink("../dev/ttyUSB0", dir.file("by-id/usb-Maker_Adapter_B2-if00-port0"));
  fs::create_symlink(dir.file("dev/ttyUSB1"), dir.file("dev/charger"));
  const struct {
    std::string port;
    std::string expected;
  } cases[] = {
      {dir.file("dev/ttyUSB1"), dir.file("by-id/usb-Maker_Adapter_A1-if00-port0")},
      {dir.file("dev/charger"), dir.file("by-id/usb-Maker_Adapter_A1-if00-port0")},
      {dir.file("dev/ttyUSB0"), dir.file("by-id/usb-Maker_Adapter_B2-if00-port0")},
      {dir.file("dev/ttyUSB2"), ""},  // built into the machine: no such link
      {dir.file("dev/ttyUSB9"), ""},  // no such port
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(stablePortName(c.port, dir.file("by-id")), c.expected);
  }
  EXPECT_EQ(stablePortName(dir.file("dev/ttyUSB1"), dir.file("no-such-folder")), "");
}

}  // namespace
}  // namespace sunlink
