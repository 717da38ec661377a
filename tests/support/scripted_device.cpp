#include "support/scripted_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace sunlink {
namespace test {

ScriptedDevice::ScriptedDevice() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) std::abort();
  path_ = ::ptsname(master_);
  slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
  termios ios{};
  ::tcgetattr(slave_, &ios);
  ::cfmakeraw(&ios);
  ::tcsetattr(slave_, TCSANOW, &ios);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ScriptedDevice::~ScriptedDevice() {
  ::close(slave_);
  ::close(master_);
}

void ScriptedDevice::write(const std::string& bytes) {
  ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string ScriptedDevice::received() {
  std::string bytes;
  char buffer[256];
  for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

}  // namespace test
}  // namespace sunlink
