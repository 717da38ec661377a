// Termination requests on Windows are the console's control events: Ctrl-C, Ctrl-Break, the
// console window closed, the user logging off and the system shutting down. Windows calls the
// handler for each on a thread it starts for that event, which is the watching thread here; the
// handler only takes a lock, records, runs the registered cleanups and deletes files.
//
// Request numbers are the C runtime's signal numbers where it has one, so a script sees the same
// status as on Linux for the same act: Ctrl-C is SIGINT (2, status 130) and Ctrl-Break SIGBREAK
// (21, status 149). The console closed, like a closed terminal on Linux, is 1 (status 129);
// logging off closes the session's consoles and counts as that too. Shutdown is 15 (status 143),
// the termination request Linux sends at shutdown.
//
// Windows has no stop request (Ctrl-Z is an end of input there) and no SIGPIPE: a write to a pipe
// whose reader has gone fails and the program goes on.
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/signals.h"

namespace sunlink {

namespace {

constexpr int kConsoleClose = 1;
constexpr int kShutdown = 15;

int requestOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return SIGINT;
    case CTRL_BREAK_EVENT:
      return SIGBREAK;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
      return kConsoleClose;
    case CTRL_SHUTDOWN_EVENT:
      return kShutdown;
    default:
      return 0;
  }
}

// Paths come from platform/files_windows.cpp in UTF-8, which holds every name Windows can give a
// file; a name in the process code page (not valid UTF-8 once it has a byte above 127) is read
// as such.
std::wstring wideFileName(const std::string& path) {
  for (const UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(codePage, flags, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), wide.data(),
                        length);
    return wide;
  }
  return std::wstring();
}

// The state of the requests. Made once and never destroyed: a handler thread may still be waiting
// on it while the process ends.
struct Watcher {
  static Watcher& instance() {
    static Watcher* const watcher = new Watcher;
    return *watcher;
  }

  // Guards everything below. Held while the process is being ended, so that a hold cannot begin
  // (and switch the charger off) in the middle of that.
  std::mutex mutex;
  bool holding = false;
  std::function<void(int)> onRequest;
  int firstRequest = 0;
  std::map<int, std::function<void()>> cleanups;
  int nextCleanupId = 1;
  std::set<std::string> files;
};

BOOL WINAPI onConsoleEvent(DWORD event) {
  const int request = requestOf(event);
  if (request == 0) return FALSE;  // not one of ours: the next handler decides
  Watcher& watcher = Watcher::instance();
  std::unique_lock<std::mutex> lock(watcher.mutex);
  if (watcher.holding) {
    if (watcher.firstRequest == 0) watcher.firstRequest = request;
    if (watcher.onRequest) watcher.onRequest(request);
    // Handled: the process goes on and ends once the charger is switched on.
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // For the other events Windows ends the process as soon as the handler returns, or after a
    // few seconds if it does not. This thread stays here, so the switch-on gets all the time
    // Windows gives; the run ends the process itself when it is done.
    lock.unlock();
    for (;;) Sleep(INFINITE);
  }
  for (auto& cleanup : watcher.cleanups) {
    try {
      cleanup.second();
    } catch (...) {
      // The process ends either way; the other cleanups still run.
    }
  }
  for (const std::string& file : watcher.files) {
    const std::wstring name = wideFileName(file);
    // A read-only mark would keep the file from being deleted. Deleted while still open (the
    // temporary is opened to allow it), it goes when the process ends and closes it.
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(name.c_str());
  }
  // As Windows' own handler ends a console program, with the lock still held. For every event
  // alike: a script must see a failure, not 0.
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void watchTerminationRequests() {
  // A process started with Ctrl-C ignored (a detached job) keeps it ignored, as on Linux.
  static const bool watching = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != FALSE;
  static_cast<void>(watching);
}

std::string terminationRequestName(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGBREAK:
      return "SIGBREAK";
    case kConsoleClose:
      return "console close";
    case kShutdown:
      return "shutdown";
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
  std::lock_guard<std::mutex> lock(watcher.mutex);
  if (released_) return 0;
  released_ = true;
  watcher.holding = false;
  watcher.onRequest = nullptr;
  return watcher.firstRequest;
}

}  // namespace sunlink
