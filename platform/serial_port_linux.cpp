#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/serial_port.h"

namespace sunlink {

namespace {

// Closes a descriptor whose opening failed at some step and reports that step's error. Once the
// port is claimed (claimed true) the claim is given up first.
int failOpen(int fd, bool claimed, int error, boost::system::error_code& ec) {
  if (claimed) releaseSerialPortExclusive(fd);
  ::close(fd);
  ec.assign(error, boost::system::system_category());
  return -1;
}

}  // namespace

SerialPortHandle openSerialPortExclusive(const std::string& path, boost::system::error_code& ec) {
  ec.clear();
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    // A port another program holds with TIOCEXCL already fails here with EBUSY.
    ec.assign(errno, boost::system::system_category());
    return -1;
  }
  // The lock comes before any change to the line: a port that turns out to be busy must be left
  // exactly as its holder set it up. TIOCEXCL alone is not enough, because root opens through it;
  // the lock on the open file is what a second instance run as root runs into.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return failOpen(fd, false, errno == EWOULDBLOCK ? EBUSY : errno, ec);
  if (::ioctl(fd, TIOCEXCL) != 0) return failOpen(fd, false, errno, ec);
  termios ios{};
  if (::tcgetattr(fd, &ios) != 0) return failOpen(fd, true, errno, ec);
  ::cfmakeraw(&ios);
  ios.c_iflag |= IGNPAR;
  ios.c_cflag |= CREAD | CLOCAL;
  if (::tcsetattr(fd, TCSANOW, &ios) != 0) return failOpen(fd, true, errno, ec);
  return fd;
}

void closeSerialPort(SerialPortHandle fd) {
  releaseSerialPortExclusive(fd);
  ::close(fd);
}

void releaseSerialPortExclusive(SerialPortHandle fd) {
  // The exclusive flag belongs to the terminal, not to our descriptor: on a pseudo-terminal whose
  // other side stays open it would outlive our close and lock every later opener out.
  ::ioctl(fd, TIOCNXCL);
}

}  // namespace sunlink
