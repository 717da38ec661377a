#include "support/scripted_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sunlink {
namespace test {

ScriptedDevice::ScriptedDevice() {
  makeRawLine(terminal_.slave(), terminal_.slavePath());
  const int flags = ::fcntl(terminal_.master(), F_GETFL);
  if (flags < 0 || ::fcntl(terminal_.master(), F_SETFL, flags | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "fcntl " + terminal_.slavePath());
  }
}

void ScriptedDevice::write(const std::string& bytes) {
  ASSERT_EQ(::write(terminal_.master(), bytes.data(), bytes.size()),
            static_cast<ssize_t>(bytes.size()));
}

std::string ScriptedDevice::received() {
  std::string bytes;
  char buffer[256];
  for (ssize_t n; (n = ::read(terminal_.master(), buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, n);
  return bytes;
}

}  // namespace test
}  // namespace sunlink
