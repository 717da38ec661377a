// Termination requests outside a store: the process still ends with the signal, after the
// registered cleanups and file removals. Each case runs in a child process of its own (a death
// test), since the watching is process-wide and ends the process.
#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace sunlink {
namespace {

namespace fs = std::filesystem;

// Sends the request to the whole process, as kill and the terminal do, and waits for it to take
// effect; the bound only keeps a broken build from hanging the suite.
[[noreturn]] void requestAndWait(int signal) {
  ::kill(::getpid(), signal);
  std::this_thread::sleep_for(std::chrono::seconds(60));
  ::_exit(0);
}

TEST(TerminationRequestsDeathTest, EndTheProcessAfterTheCleanupsAndRemoveRegisteredFiles) {
  // A threadsafe death test starts the test program again, which the emulator that runs a cross
  // build's tests cannot do (CHGTUNE_TEST_EMULATOR names it). There the child is forked without
  // that; the watching starts inside the child, so no thread is forked with it.
  GTEST_FLAG_SET(death_test_style,
                 std::string(CHGTUNE_TEST_EMULATOR).empty() ? "threadsafe" : "fast");
  const fs::path dir = fs::path(::testing::TempDir()) / "chgtune_signals_test";
  fs::create_directories(dir);
  struct Case {
    int signal;
    bool keep;  // keepOnTermination after removeOnTermination
  };
  for (const Case& c : {Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, true}}) {
    SCOPED_TRACE(terminationRequestName(c.signal));
    const fs::path temporary = dir / "settings.xml.tmp";
    const fs::path cleaned = dir / "cleanup-ran";
    std::ofstream(temporary) << "half written";
    fs::remove(cleaned);
    EXPECT_EXIT(
        {
          watchTerminationRequests();
          removeOnTermination(temporary.string());
          if (c.keep) keepOnTermination(temporary.string());
          addTerminationCleanup([&] { std::ofstream(cleaned) << "ran"; });
          const int dropped = addTerminationCleanup([&] { fs::remove(cleaned); });
          removeTerminationCleanup(dropped);
          requestAndWait(c.signal);
        },
        ::testing::KilledBySignal(c.signal), "");
    EXPECT_EQ(fs::exists(temporary), c.keep);
    EXPECT_TRUE(fs::exists(cleaned));
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sunlink
