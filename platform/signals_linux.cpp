#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/signals.h"
#include "platform/termination_state.h"

namespace sunlink {

namespace {

const int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t watchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kTerminationSignals) sigaddset(&set, signal);
  sigaddset(&set, SIGTSTP);
  return set;
}

// Delivers signal to the calling thread with the default action, which for SIGTSTP stops the
// whole process until it is continued. Every other thread keeps it blocked.
void actNow(int signal) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(signal, &byDefault, nullptr);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  sigset_t before;
  pthread_sigmask(SIG_UNBLOCK, &one, &before);
  raise(signal);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// Owns the watching thread; what the requests do is in TerminationState.
class Watcher {
 public:
  static Watcher& instance() {
    static Watcher watcher;
    return watcher;
  }
  ~Watcher() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) == sizeof one)
      thread_.join();
    else
      thread_.detach();  // cannot be woken: the process ends around it
  }

  void start();

 private:
  Watcher() = default;
  void run();
  static void handle(int signal);

  std::mutex mutex_;  // guards the start
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

void Watcher::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable()) return;
  // A closed pipe on standard output must show as a failed write, not end the program mid-store.
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t set = watchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || wakeFd_ < 0) {
    // Without a way to take the requests they keep their default effect.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  thread_ = std::thread([this] { run(); });
}

void Watcher::run() {
  for (;;) {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info{};
    if (::read(signalFd_, &info, sizeof info) == sizeof info)
      handle(static_cast<int>(info.ssi_signo));
  }
}

void Watcher::handle(int signal) {
  TerminationState& state = TerminationState::instance();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (signal == SIGTSTP) {
    if (state.holding && state.holdingStops) {
      state.stopHeld = true;
      return;
    }
    lock.unlock();
    actNow(SIGTSTP);
    return;
  }
  if (state.holdRequest(signal)) return;
  state.endRun();
  actNow(signal);
  ::_exit(128 + signal);  // the default action of every watched termination signal ends us first
}

}  // namespace

void removeFileNow(const std::string& path) { ::unlink(path.c_str()); }

void stopNow() { actNow(SIGTSTP); }

void watchTerminationRequests() { Watcher::instance().start(); }

std::string terminationRequestName(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
    case SIGTSTP:
      return "SIGTSTP";
    default:
      return "signal " + std::to_string(request);
  }
}

}  // namespace sunlink
