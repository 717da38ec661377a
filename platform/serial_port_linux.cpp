#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/serial_port.h"

namespace sunlink {

namespace {

void setError(boost::system::error_code& ec, int error) {
  ec.assign(error, boost::system::system_category());
}

}  // namespace

int openSerialPortExclusive(const std::string& path, boost::system::error_code& ec) {
  ec.clear();
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    // A port another program holds with TIOCEXCL already fails here with EBUSY.
    setError(ec, errno);
    return -1;
  }
  // The lock comes before any change to the line: a port that turns out to be busy must be left
  // exactly as its holder set it up. TIOCEXCL alone is not enough, because root opens through it;
  // the lock on the open file is what a second instance run as root runs into.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    setError(ec, error == EWOULDBLOCK ? EBUSY : error);
    return -1;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    ::close(fd);
    setError(ec, error);
    return -1;
  }
  termios ios{};
  if (::tcgetattr(fd, &ios) != 0) {
    const int error = errno;
    releaseSerialPortExclusive(fd);
    ::close(fd);
    setError(ec, error);
    return -1;
  }
  ::cfmakeraw(&ios);
  ios.c_iflag |= IGNPAR;
  ios.c_cflag |= CREAD | CLOCAL;
  if (::tcsetattr(fd, TCSANOW, &ios) != 0) {
    const int error = errno;
    releaseSerialPortExclusive(fd);
    ::close(fd);
    setError(ec, error);
    return -1;
  }
  return fd;
}

void closeSerialPort(int fd) {
  releaseSerialPortExclusive(fd);
  ::close(fd);
}

void releaseSerialPortExclusive(int fd) {
  // The exclusive flag belongs to the terminal, not to our descriptor: on a pseudo-terminal whose
  // other side stays open it would outlive our close and lock every later opener out.
  ::ioctl(fd, TIOCNXCL);
}

}  // namespace sunlink
