#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sunlink {
namespace test {

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A pipe whose ends are closed on exec, so that no other child inherits them; with terminal a
// pseudo-terminal instead, whose master is the reading end and whose slave the writing end.
struct Pipe {
  int read = -1;
  int write = -1;
  explicit Pipe(bool terminal = false) {
    if (terminal) {
      openTerminal();
      return;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) fail("pipe2");
    read = fds[0];
    write = fds[1];
  }
  // Bytes pass unchanged: the terminal adds no CR before LF.
  void openTerminal() {
    read = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (read < 0 || ::grantpt(read) != 0 || ::unlockpt(read) != 0) fail("posix_openpt");
    write = ::open(::ptsname(read), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (write < 0) fail("open pty slave");
    termios settings{};
    if (::tcgetattr(write, &settings) != 0) fail("tcgetattr");
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (::tcsetattr(write, TCSANOW, &settings) != 0) fail("tcsetattr");
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void closeRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void closeWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void execChild(Pipe& in, Pipe& out, Pipe& err, const char* path, char* const argv[]) {
  ::dup2(in.read, STDIN_FILENO);
  ::dup2(out.write, STDOUT_FILENO);
  ::dup2(err.write, STDERR_FILENO);
  // Descriptors the test process holds (a simulator's pty master, say) stay with the test.
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
#endif
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  ::signal(SIGPIPE, SIG_DFL);
  ::execv(path, argv);
  const char message[] = "runProcess: exec failed\n";
  ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
  (void)ignored;
  ::_exit(127);
}

// Reads what is there; false once the writer has closed its end (a terminal's master reads EIO
// then).
bool drain(int fd, std::string& into) {
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

ProcessResult run(const std::string& binary, const std::vector<std::string>& args,
                  const std::string& stdinText, std::chrono::milliseconds killAfter,
                  bool terminalOut) {
  // A child that exits without reading all its input must not kill the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> words;
  words.push_back(binary);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  Pipe in, err;
  Pipe out(terminalOut);
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid == 0) execChild(in, out, err, binary.c_str(), argv.data());
  in.closeRead();
  out.closeWrite();
  err.closeWrite();
  ::fcntl(in.write, F_SETFL, O_NONBLOCK);

  ProcessResult result;
  std::size_t written = 0;
  if (stdinText.empty()) in.closeWrite();
  const auto deadline = std::chrono::steady_clock::now() + killAfter;
  while (out.read >= 0 || err.read >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      result.timedOut = true;
      break;
    }
    pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
    if (::poll(fds, 3, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    if (fds[0].revents && !drain(out.read, result.out)) out.closeRead();
    if (fds[1].revents && !drain(err.read, result.err)) err.closeRead();
    if (fds[2].revents) {
      const ssize_t n = ::write(in.write, stdinText.data() + written, stdinText.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == stdinText.size())
        in.closeWrite();
    }
  }
  // Both pipes are closed: the child has normally exited; give it until the bound to be reaped.
  int status = 0;
  for (;;) {
    const pid_t reaped = ::waitpid(pid, &status, result.timedOut ? 0 : WNOHANG);
    if (reaped == pid) break;
    if (reaped < 0 && errno != EINTR) fail("waitpid");
    if (reaped == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid, SIGKILL);
        result.timedOut = true;
      } else {
        ::usleep(1000);
      }
    }
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
  return result;
}

}  // namespace

ProcessResult runProcess(const std::string& binary, const std::vector<std::string>& args,
                         const std::string& stdinText, std::chrono::milliseconds killAfter) {
  return run(binary, args, stdinText, killAfter, false);
}

ProcessResult runProcessOnTerminal(const std::string& binary, const std::vector<std::string>& args,
                                   const std::string& stdinText,
                                   std::chrono::milliseconds killAfter) {
  return run(binary, args, stdinText, killAfter, true);
}

ProcessResult runChgtune(const std::vector<std::string>& args, const std::string& stdinText,
                         std::chrono::milliseconds killAfter) {
  return runProcess(CHGTUNE_BINARY, args, stdinText, killAfter);
}

}  // namespace test
}  // namespace sunlink
