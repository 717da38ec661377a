#include "support/exclusive_mode.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace sunlink {
namespace test {

namespace {

// Whether the terminal refuses a new opener the way exclusive mode does: a child process gives up
// CAP_SYS_ADMIN (which exclusive mode lets through) and opens the terminal. Only async-signal-safe
// calls run in the child.
bool refusesNewOpeners(const std::string& path) {
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, caps) != 0) ::_exit(2);
    caps[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
    if (::syscall(SYS_capset, &header, caps) != 0) ::_exit(2);
    if (::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0) ::_exit(0);
    ::_exit(errno == EBUSY ? 1 : 3);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
    throw std::runtime_error("asking " + path + " as a new opener failed");
  return WEXITSTATUS(status) == 1;
}

}  // namespace

bool inExclusiveMode(int fd, const std::string& path) {
  int flag = 0;
  if (::ioctl(fd, TIOCGEXCL, &flag) == 0) return flag != 0;
  // QEMU's user-mode emulator, which runs the tests of the ARM builds, does not pass this request
  // on; there the terminal is asked the way a new opener asks it.
  if (errno != ENOSYS) throw std::system_error(errno, std::generic_category(), "TIOCGEXCL");
  return refusesNewOpeners(path);
}

}  // namespace test
}  // namespace sunlink
