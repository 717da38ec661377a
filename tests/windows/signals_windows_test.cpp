// Termination requests on Windows: the console's control events, raised in the test process the
// way Windows raises them, on a thread of their own that runs the system's control routine
// (kernelbase's CtrlRoutine, which calls the registered handlers and, when none takes the event,
// ends the process as Windows' own handler does). Cross-built and run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/signals.h"

namespace sunlink {
namespace {

namespace fs = std::filesystem;

// The thread Windows starts in a console program for each control event.
HANDLE raiseConsoleEvent(DWORD event) {
  // Through void*: the address is looked up by name, untyped.
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) return nullptr;
  return CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)),
                      0, nullptr);
}

// Requests held by a store: recorded, onRequest called, the process goes on. Ctrl-C and
// Ctrl-Break are answered as handled. For the others the handler's thread stays, because Windows
// ends the process once it returns and the store still has to switch the charger on; the system
// calls no other handler while one runs, so each of those runs in a child process of its own,
// which ends with the request it recorded.
TEST(TerminationRequestsDeathTest, HeldDuringAHoldAndNumberedAsTheCRuntimeSignals) {
  struct Case {
    DWORD event;
    int request;
    const char* name;
    bool handlerReturns;
  };
  for (const Case& c :
       {Case{CTRL_C_EVENT, 2, "SIGINT", true}, Case{CTRL_BREAK_EVENT, 21, "SIGBREAK", true},
        Case{CTRL_CLOSE_EVENT, 1, "console close", false},
        Case{CTRL_LOGOFF_EVENT, 1, "console close", false},
        Case{CTRL_SHUTDOWN_EVENT, 15, "shutdown", false}}) {
    SCOPED_TRACE(c.event);
    EXPECT_EQ(terminationRequestName(c.request), c.name);
    const auto heldRequest = [&c] {
      watchTerminationRequests();
      std::mutex mutex;
      std::condition_variable arrived;
      std::vector<int> seen;  // guarded by mutex
      TerminationHold hold([&](int request) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(request);
        arrived.notify_all();
      });
      const HANDLE thread = raiseConsoleEvent(c.event);
      if (thread == nullptr) return -1;  // no control routine to raise the event with
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (!arrived.wait_for(lock, std::chrono::seconds(60), [&] { return !seen.empty(); }))
          return -2;
      }
      if (c.handlerReturns) {
        DWORD handled = 0;
        // Taken by the handler (1), not passed on to Windows' own.
        if (WaitForSingleObject(thread, 60000) != WAIT_OBJECT_0 ||
            !GetExitCodeThread(thread, &handled) || handled != 1)
          return -3;
      }
      const int first = hold.release();
      std::lock_guard<std::mutex> lock(mutex);
      return seen == std::vector<int>{first} ? first : -4;
    };
    if (c.handlerReturns)
      EXPECT_EQ(heldRequest(), c.request);
    else
      EXPECT_EXIT(std::_Exit(heldRequest()), ::testing::ExitedWithCode(c.request), "");
  }
}

// Outside a hold a request ends the process as Windows would, after the cleanups and with the
// registered files deleted, also one that is still open and marked read-only, as the settings
// file's temporary can be. Each case runs in a child process of its own (a death test).
TEST(TerminationRequestsDeathTest, EndTheProcessAfterTheCleanupsAndDeleteRegisteredFiles) {
  const fs::path dir = fs::path(::testing::TempDir()) / "chgtune_signals_test";
  fs::create_directories(dir);
  for (const DWORD event : {CTRL_C_EVENT, CTRL_CLOSE_EVENT}) {
    SCOPED_TRACE(event);
    const fs::path temporary = dir / "settings.xml.tmp";
    const fs::path kept = dir / "kept.xml.tmp";
    const fs::path cleaned = dir / "cleanup-ran";
    fs::remove(cleaned);
    std::ofstream(kept) << "kept";
    EXPECT_EXIT(
        {
          watchTerminationRequests();
          const HANDLE open =
              CreateFileW(temporary.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, nullptr);
          if (open == INVALID_HANDLE_VALUE) std::_Exit(3);
          removeOnTermination(temporary.string());
          removeOnTermination(kept.string());
          keepOnTermination(kept.string());
          addTerminationCleanup([&] { std::ofstream(cleaned) << "ran"; });
          removeTerminationCleanup(addTerminationCleanup([&] { fs::remove(cleaned); }));
          // The bound only keeps a broken build from hanging the suite.
          WaitForSingleObject(raiseConsoleEvent(event), 60000);
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_TRUE(fs::exists(cleaned));
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sunlink
