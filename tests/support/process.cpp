#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
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

#include "platform/pty.h"

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
    PseudoTerminal terminal;
    termios settings{};
    if (::tcgetattr(terminal.slave(), &settings) != 0) fail("tcgetattr " + terminal.slavePath());
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    // Typed input is not echoed back: nobody reads it.
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    if (::tcsetattr(terminal.slave(), TCSANOW, &settings) != 0) {
      fail("tcsetattr " + terminal.slavePath());
    }
    read = terminal.releaseMaster();
    write = terminal.releaseSlave();
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
[[noreturn]] void execChild(int in, int out, int err, const ProcessOptions& options,
                            const char* path, char* const argv[]) {
  if (options.ownProcessGroup) ::setpgid(0, 0);
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  // Descriptors the test process holds (a simulator's pty master, say) stay with the test.
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
#endif
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  ::signal(SIGPIPE, SIG_DFL);
  if (options.unprivileged && ::geteuid() == 0) {
    const gid_t nobodyGroup = 65534;
    const uid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobody) != 0)
      ::_exit(126);
  }
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

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Process::Process(const std::string& binary, const std::vector<std::string>& args,
                 const ProcessOptions& options)
    : stdinText_(options.stdinText),
      stdinTerminal_(options.stdinOnTerminal),
      deadline_(std::chrono::steady_clock::now() + options.killAfter) {
  // A child that exits without reading all its input must not kill the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> words;
  words.push_back(binary);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  Pipe in(options.stdinOnTerminal), err(options.stderrOnTerminal);
  // The program reads the terminal's slave; the test types on its master.
  if (options.stdinOnTerminal) {
    std::swap(in.read, in.write);
    stdinText_ += '\x04';
  }
  Pipe out(options.stdoutTo == StdoutTo::terminal);
  // A pipe whose reader is gone before the child starts, so that its very first write fails.
  if (options.stdoutTo == StdoutTo::closedPipe) out.closeRead();
  int full = -1;
  if (options.stdoutTo == StdoutTo::devFull) {
    full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) fail("open /dev/full");
  }
  pid_ = ::fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    execChild(in.read, full >= 0 ? full : out.write, err.write, options, binary.c_str(),
              argv.data());
  }
  closeFd(full);
  in.closeRead();
  out.closeWrite();
  err.closeWrite();
  std::swap(in_, in.write);
  std::swap(out_, out.read);
  std::swap(err_, err.read);
  if (stdinText_.empty()) closeFd(in_);
  if (in_ >= 0) ::fcntl(in_, F_SETFL, O_NONBLOCK);
}

Process::~Process() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  closeFd(in_);
  closeFd(typedIn_);
  closeFd(out_);
  closeFd(err_);
}

void Process::signal(int number) const { ::kill(pid_, number); }

bool Process::pastBound() {
  if (std::chrono::steady_clock::now() < deadline_) return false;
  ::kill(pid_, SIGKILL);
  result_.timedOut = true;
  return true;
}

void Process::pump(int waitMs) {
  pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {in_, POLLOUT, 0}};
  if (::poll(fds, 3, waitMs) < 0) {
    if (errno == EINTR) return;
    fail("poll");
  }
  if (fds[0].revents && !drain(out_, result_.out)) closeFd(out_);
  if (fds[1].revents && !drain(err_, result_.err)) closeFd(err_);
  if (fds[2].revents) {
    const ssize_t n = ::write(in_, stdinText_.data() + written_, stdinText_.size() - written_);
    if (n > 0) written_ += static_cast<std::size_t>(n);
    if ((n < 0 && errno != EAGAIN && errno != EINTR) || written_ == stdinText_.size()) {
      // A terminal closed by its master hangs up, and what the program has not read yet is lost.
      if (stdinTerminal_) std::swap(in_, typedIn_);
      closeFd(in_);
    }
  }
}

bool Process::waitForErr(const std::string& text) {
  while (result_.err.find(text) == std::string::npos) {
    if (!outputOpen() || pastBound()) return false;
    pump(1000);
  }
  return true;
}

bool Process::waitForOut(const std::string& text, std::size_t times) {
  const auto found = [&] {
    std::size_t n = 0;
    for (std::size_t at = result_.out.find(text); at != std::string::npos && n < times;
         at = result_.out.find(text, at + text.size()))
      ++n;
    return n >= times;
  };
  while (!found()) {
    if (!outputOpen() || pastBound()) return false;
    pump(1000);
  }
  return true;
}

bool Process::waitForStop() {
  while (!reaped_ && !pastBound()) {
    int status = 0;
    const pid_t changed = ::waitpid(pid_, &status, WUNTRACED | WNOHANG);
    if (changed == pid_ && WIFSTOPPED(status)) return true;
    if (changed == pid_) {
      reaped_ = true;
      if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
      return false;
    }
    // A stopped child writes nothing: the wait for output is what paces this loop.
    pump(outputOpen() ? 10 : 0);
    if (!outputOpen()) ::usleep(1000);
  }
  return false;
}

ProcessResult Process::finish() {
  while (outputOpen() && !pastBound()) pump(1000);
  // Both pipes are closed: the child has normally exited; give it until the bound to be reaped.
  while (!reaped_) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, result_.timedOut ? 0 : WNOHANG);
    if (reaped < 0 && errno != EINTR) fail("waitpid");
    if (reaped == pid_) {
      reaped_ = true;
      if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
    } else if (reaped == 0 && !pastBound()) {
      ::usleep(1000);
    }
  }
  return result_;
}

ProcessResult runProcess(const std::string& binary, const std::vector<std::string>& args,
                         const std::string& stdinText, std::chrono::milliseconds killAfter) {
  ProcessOptions options;
  options.stdinText = stdinText;
  options.killAfter = killAfter;
  return Process(binary, args, options).finish();
}

ProcessResult runProcessOnTerminal(const std::string& binary, const std::vector<std::string>& args,
                                   const std::string& stdinText,
                                   std::chrono::milliseconds killAfter) {
  ProcessOptions options;
  options.stdinText = stdinText;
  options.stdoutTo = StdoutTo::terminal;
  options.killAfter = killAfter;
  return Process(binary, args, options).finish();
}

ProcessResult runChgtune(const std::vector<std::string>& args, const std::string& stdinText,
                         std::chrono::milliseconds killAfter) {
  return runProcess(CHGTUNE_BINARY, args, stdinText, killAfter);
}

std::string chgtuneBinary() { return CHGTUNE_BINARY; }

}  // namespace test
}  // namespace sunlink
