#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/saved_line_settings.h"
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
  const termios found = ios;
  ::cfmakeraw(&ios);
  ios.c_iflag |= IGNPAR;
  ios.c_cflag |= CREAD | CLOCAL;
  // Put back at once, not after draining: a charger that has gone silent must not hold the
  // program there, and every request already had its reply.
  keepLineSettings(fd, [fd, found] { ::tcsetattr(fd, TCSANOW, &found); });
  if (::tcsetattr(fd, TCSANOW, &ios) != 0) {
    const int error = errno;
    restoreSerialPortSettings(fd);
    return failOpen(fd, true, error, ec);
  }
  return fd;
}

std::string serialPortGroup(const std::string& path) {
  struct stat node {};
  // A group that may not read and write the port would not help the user.
  if (::stat(path.c_str(), &node) != 0 ||
      (node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
    return "";
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (::getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return "";
  return found->gr_name;
}

void closeSerialPort(SerialPortHandle fd) {
  restoreSerialPortSettings(fd);
  releaseSerialPortExclusive(fd);
  ::close(fd);
}

void releaseSerialPortExclusive(SerialPortHandle fd) {
  // The exclusive flag belongs to the terminal, not to our descriptor: on a pseudo-terminal whose
  // other side stays open it would outlive our close and lock every later opener out.
  ::ioctl(fd, TIOCNXCL);
}

std::string portOpenFailureKind(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return "";
  switch (ec.value()) {
    case EBUSY:
      return "busy";
    case EACCES:
    case EPERM:
      return "permission denied";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "missing";
    default:
      return "";
  }
}

}  // namespace sunlink
