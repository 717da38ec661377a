#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "platform/signals.h"

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

// Owns the watching thread and the state of the requests. Its mutex is held while a request is
// acted on, so a hold cannot begin while the process is being ended.
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

  // Guards everything down to files.
  std::mutex mutex;
  bool holding = false;
  std::function<void(int)> onRequest;
  int firstRequest = 0;
  bool stopHeld = false;
  std::map<int, std::function<void()>> cleanups;
  int nextCleanupId = 1;
  std::set<std::string> files;

 private:
  Watcher() = default;
  void run();
  void handle(int signal);

  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

void Watcher::start() {
  std::lock_guard<std::mutex> lock(mutex);
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
  std::unique_lock<std::mutex> lock(mutex);
  if (holding) {
    if (signal == SIGTSTP) {
      stopHeld = true;
    } else {
      if (firstRequest == 0) firstRequest = signal;
      if (onRequest) onRequest(signal);
    }
    return;
  }
  if (signal == SIGTSTP) {
    lock.unlock();
    actNow(SIGTSTP);
    return;
  }
  for (auto& cleanup : cleanups) {
    try {
      cleanup.second();
    } catch (...) {
      // The process ends either way; the other cleanups still run.
    }
  }
  for (const std::string& file : files) ::unlink(file.c_str());
  actNow(signal);
  ::_exit(128 + signal);  // the default action of every watched termination signal ends us first
}

}  // namespace

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

int addTerminationCleanup(std::function<void()> cleanup) {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  const int id = watcher.nextCleanupId++;
  watcher.cleanups.emplace(id, std::move(cleanup));
  return id;
}

void removeTerminationCleanup(int id) {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  watcher.cleanups.erase(id);
}

void removeOnTermination(const std::string& path) {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  watcher.files.insert(path);
}

void keepOnTermination(const std::string& path) {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  watcher.files.erase(path);
}

TerminationHold::TerminationHold(std::function<void(int)> onRequest) {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  if (watcher.holding) throw std::logic_error("TerminationHold: a hold is already in place");
  watcher.holding = true;
  watcher.onRequest = std::move(onRequest);
  watcher.firstRequest = 0;
  watcher.stopHeld = false;
}

TerminationHold::~TerminationHold() {
  if (!released_) release();
}

void TerminationHold::disarm() {
  Watcher& watcher = Watcher::instance();
  std::lock_guard<std::mutex> lock(watcher.mutex);
  watcher.onRequest = nullptr;
}

int TerminationHold::release() {
  Watcher& watcher = Watcher::instance();
  int request = 0;
  bool stop = false;
  {
    std::lock_guard<std::mutex> lock(watcher.mutex);
    if (released_) return 0;
    released_ = true;
    watcher.holding = false;
    watcher.onRequest = nullptr;
    request = watcher.firstRequest;
    stop = watcher.stopHeld;
  }
  if (stop) actNow(SIGTSTP);
  return request;
}

}  // namespace sunlink
