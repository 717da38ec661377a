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
#include <mutex>
#include <string>

#include "platform/signals.h"
#include "platform/termination_state.h"

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

BOOL WINAPI onConsoleEvent(DWORD event) {
  const int request = requestOf(event);
  if (request == 0) return FALSE;  // not one of ours: the next handler decides
  TerminationState& state = TerminationState::instance();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (state.holdRequest(request)) {
    // Handled: the process goes on and ends once the charger is switched on.
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // For the other events Windows ends the process as soon as the handler returns, or after a
    // few seconds if it does not. This thread stays here, so the switch-on gets all the time
    // Windows gives; the run ends the process itself when it is done.
    lock.unlock();
    for (;;) Sleep(INFINITE);
  }
  state.endRun();
  // As Windows' own handler ends a console program, with the lock still held. For every event
  // alike: a script must see a failure, not 0.
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

// A read-only mark would keep the file from being deleted. Deleted while still open (the
// temporary is opened to allow it), it goes when the process ends and closes it.
void removeFileNow(const std::string& path) {
  const std::wstring name = wideFileName(path);
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(name.c_str());
}

// Windows has no stop request: a hold never keeps one.
void stopNow() {}

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

}  // namespace sunlink
