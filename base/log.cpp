#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/progress_line.h"
#include "base/shown_text.h"
#include "platform/clock.h"

namespace sunlink {

std::atomic<std::uint8_t> logVerbosity{1};

namespace {

std::int64_t clockStart = 0;

// Guards every member of LogState: the budget, the ring and the destination are changed by one
// caller at a time.
std::mutex logMutex;

struct LogState {
  std::string logFile;
  std::int32_t printBudget = -1;
  std::int32_t budgetReset = -1;
  std::vector<std::optional<std::string>> ring;  // empty vector: no ring
  std::size_t current = 0;
};
LogState state;

const char* levelName(LogLevel level) {
  switch (level) {
    case LOG_ERROR:
      return "ERR";
    case LOG_WARNING:
      return "WRN";
    default:
      return "INF";
  }
}

// Writes the ring, oldest line first. Caller holds logMutex.
void dumpBacklogLocked() {
  if (state.ring.empty() || !state.ring.front()) return;
  std::fputs("\n-------- dumping backlog -------\n", stdout);
  std::size_t slot = state.ring.back() ? state.current : 0;
  while (state.ring[slot]) {
    std::fputs(state.ring[slot]->c_str(), stdout);
    state.ring[slot].reset();
    slot = (slot + 1) % state.ring.size();
  }
  std::fflush(stdout);
  state.current = 0;
}

// Appends the caller's message to line, whole whatever its length. Nearly every message fits the
// buffer on the stack and is formatted once; a longer one is formatted again straight into the
// line, now that its length is known. False when the message cannot be formatted.
bool appendMessage(std::string& line, const char* format, va_list args) {
  char buffer[1024];
  va_list copy;
  va_copy(copy, args);
  const int written = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (written < 0) return false;
  const std::size_t length = static_cast<std::size_t>(written);
  if (length < sizeof buffer) {
    line.append(buffer, length);
    return true;
  }
  const std::size_t start = line.size();
  line.resize(start + length + 1);  // room for the terminator vsnprintf writes
  va_copy(copy, args);
  std::vsnprintf(&line[start], length + 1, format, copy);
  va_end(copy);
  line.pop_back();
  return true;
}

// Builds "SSS.mmm LVL.category: message\n". Returns nothing when the line cannot be had.
std::optional<std::string> buildLine(LogLevel level, const char* category, const char* format,
                                     va_list args) {
  try {
    std::string line = logStamp(elapsedMicros());
    line.append(levelName(level)).append(".").append(category).append(": ");
    const std::size_t start = line.size();
    if (!appendMessage(line, format, args)) return std::nullopt;
    // Messages carry labels and values from charger and files: one line each, nothing a terminal
    // would act on.
    line.replace(start, std::string::npos, shownText(std::string_view(line).substr(start)));
    line.push_back('\n');
    return line;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

void logLine(LogLevel level, const char* category, const char* format, va_list args) {
  std::lock_guard<std::mutex> guard(logMutex);
  if (level == LOG_ERROR && state.printBudget != -1) {
    dumpBacklogLocked();
    state.printBudget = state.budgetReset;
  }
  if (state.printBudget == 0 && state.ring.empty()) return;

  std::FILE* destination = stderr;
  if (!state.logFile.empty()) {
    if (std::FILE* file = std::fopen(state.logFile.c_str(), "a")) destination = file;
  }
  std::optional<std::string> line = buildLine(level, category, format, args);
  if (state.printBudget != 0) {
    const auto write = [&] {
      if (line)
        std::fwrite(line->data(), 1, line->size(), destination);
      else
        std::fputs("invalid str.", destination);
      std::fflush(destination);
    };
    // On a terminal the line goes above a progress line, never into it.
    if (destination == stderr)
      writeBesideProgress(write);
    else
      write();
    if (state.printBudget > 0) --state.printBudget;
  } else if (line) {
    state.ring[state.current] = std::move(*line);
    state.current = (state.current + 1) % state.ring.size();
  }
  if (destination != stderr)
    std::fclose(destination);
  else
    std::fflush(stderr);
}

}  // namespace

std::string logStamp(std::int64_t elapsed) {
  const std::int64_t t = elapsed % 1000000000;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%03d.%03d ", static_cast<int>(t / 1000000),
                static_cast<int>((t / 1000) % 1000));
  return stamp;
}

void startClock() { clockStart = monotonicMicros(); }

std::int64_t elapsedMicros() { return monotonicMicros() - clockStart; }

#define SUNLINK_LOG_AT(level)               \
  if (logVerbosity < (level)) return;       \
  va_list args;                             \
  va_start(args, format);                   \
  logLine((level), category, format, args); \
  va_end(args)

void logError(const char* category, const char* format, ...) { SUNLINK_LOG_AT(LOG_ERROR); }
void logWarning(const char* category, const char* format, ...) { SUNLINK_LOG_AT(LOG_WARNING); }
void logInfo(const char* category, const char* format, ...) { SUNLINK_LOG_AT(LOG_INFO); }

#undef SUNLINK_LOG_AT

void dumpBacklog() {
  std::lock_guard<std::mutex> guard(logMutex);
  dumpBacklogLocked();
}

void setLogMode(const LogMode& mode) {
  std::lock_guard<std::mutex> guard(logMutex);
  state.logFile = mode.logFile;
  state.printBudget = mode.printBudget;
  state.budgetReset = mode.budgetReset;
  state.ring.assign(mode.ringSlots, std::nullopt);
  state.current = 0;
}

}  // namespace sunlink
