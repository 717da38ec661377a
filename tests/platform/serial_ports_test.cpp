// The serial port listing on a fake sysfs tree.
#include "platform/serial_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sunlink {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    // A tree per test: ctest runs the tests of this fixture side by side.
    root_ = fs::path(::testing::TempDir()) /
            (std::string("chgtune_fake_sysfs_") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "tty");
    fs::create_directories(root_ / "devices");
  }
  void TearDown() override { fs::remove_all(root_); }

  // A tty entry; withDevice adds the `device` link (as a symbolic link, the way sysfs has it),
  // type writes the serial core's UART type attribute.
  void addTty(const std::string& name, bool withDevice, const char* type = nullptr) {
    const fs::path dir = root_ / "class" / "tty" / name;
    fs::create_directories(dir);
    if (withDevice) {
      const fs::path target = root_ / "devices" / name;
      fs::create_directories(target);
      fs::create_directory_symlink(target, dir / "device");
    }
    if (type) std::ofstream(dir / "type") << type;
  }

  fs::path root_;
};

TEST_F(FakeSysfs, ListsHardwarePortsInNaturalOrder) {
  addTty("ttyUSB10", true);
  addTty("ttyUSB2", true);
  addTty("ttyUSB0", true);
  addTty("ttyACM0", true);
  addTty("ttyS10", true, "4\n");  // a 16550A on a card
  addTty("ttyS2", true, "4\n");
  addTty("ttyS0", true, "0\n");  // legacy port with no UART behind it
  addTty("ttyS1", true, "0");
  addTty("ttyS3", true, " 0\t\r\n");  // blanks around the value are no part of it
  addTty("tty0", false);              // virtual console
  addTty("ptmx", false);
  addTty("console", false);
  addTty("ttyAMA0", true, "32\n");  // other serial-core drivers report their own type

  const std::vector<std::string> expected = {"/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS2",
                                             "/dev/ttyS10",  "/dev/ttyUSB0", "/dev/ttyUSB2",
                                             "/dev/ttyUSB10"};
  EXPECT_EQ(listSerialPorts(root_.string(), "/dev"), expected);
}

// Probing the kernel's console would type requests into its login prompt.
TEST_F(FakeSysfs, PortsTheKernelUsesAsItsConsoleAreLeftOut) {
  struct Case {
    const char* name;
    const char* active;            // the console entry's `active` attribute; null: none
    const char* consoleAttribute;  // ttyS0's own `console` attribute; null: none
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no console information", nullptr, nullptr, {"/dev/ttyS0", "/dev/ttyUSB0"}},
      {"console=ttyS0", "tty0 ttyS0\n", nullptr, {"/dev/ttyUSB0"}},
      {"console on the virtual terminal only", "tty0\n", "N\n", {"/dev/ttyS0", "/dev/ttyUSB0"}},
      {"port marks itself as the console", nullptr, "Y\n", {"/dev/ttyUSB0"}},
      {"a name that only begins like the port",
       "ttyS01\n",
       nullptr,
       {"/dev/ttyS0", "/dev/ttyUSB0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    addTty("ttyS0", true, "4\n");
    addTty("ttyUSB0", true);
    addTty("console", false);
    const fs::path tty = root_ / "class" / "tty";
    if (c.active) std::ofstream(tty / "console" / "active") << c.active;
    if (c.consoleAttribute) std::ofstream(tty / "ttyS0" / "console") << c.consoleAttribute;
    EXPECT_EQ(listSerialPorts(root_.string(), "/dev"), c.expected);
  }
}

TEST_F(FakeSysfs, DevRootPrefixesEveryName) {
  addTty("ttyUSB0", true);
  EXPECT_EQ(listSerialPorts(root_.string(), "/tmp/devs"),
            std::vector<std::string>{"/tmp/devs/ttyUSB0"});
}

TEST_F(FakeSysfs, NoTtyClassMeansNoPorts) {
  EXPECT_TRUE(listSerialPorts((root_ / "missing").string(), "/dev").empty());
  EXPECT_TRUE(listSerialPorts(root_.string(), "/dev").empty());
}

}  // namespace
}  // namespace sunlink
