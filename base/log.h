// Run-time clock and levelled log facility shared by the whole program.
//
// Lines look like "012.345 INF.hex_proto: hex: ping": seconds (wrapping every 1000 s) and
// milliseconds since startClock, level name, category, message. By default only errors are shown;
// --verbose shows everything. Each shown line reaches its destination (standard error unless a log
// file is set) before the call returns. A message is shown through shownText: a label or value
// from the charger or a file stays on its line and cannot steer the terminal. Safe to call from the
// main thread and the reader thread: one process-wide lock serialises delivery, so lines never
// interleave.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace sunlink {

enum LogLevel : std::uint8_t { LOG_ERROR = 1, LOG_WARNING = 2, LOG_INFO = 3 };

// Lines of a level are shown when logVerbosity >= level. Set once by the run sequence before any
// reader thread exists; atomic because the tests change it while links run, and every log call on
// every thread reads it.
extern std::atomic<std::uint8_t> logVerbosity;

void startClock();
std::int64_t elapsedMicros();
// The stamp that leads a line: "SSS.mmm " for a time since start. The seconds field wraps every
// 1000 s, so 1,000.5 s reads "000.500 ".
std::string logStamp(std::int64_t elapsedMicros);

void logError(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logWarning(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void logInfo(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the held-back lines (oldest first) on standard output and empties the ring.
void dumpBacklog();

// Delivery configuration. The program uses direct mode only (no file, budget -1, no ring);
// the other modes exist for diagnosis and are exercised by the tests.
struct LogMode {
  std::string logFile;            // empty: standard error
  std::int32_t printBudget = -1;  // -1 unlimited, n > 0 the next n lines, 0 hold lines in the ring
  std::int32_t budgetReset = -1;  // value the budget returns to after an error flushed the ring
  std::size_t ringSlots = 0;      // 0: no backlog ring
};
void setLogMode(const LogMode& mode);

}  // namespace sunlink
