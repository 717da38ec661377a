// The log facility as the rest of the program sees it: which lines are shown, what they look like,
// where they go, and how held-back lines come out.
#include "base/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace sunlink {
namespace {

// Captures what reaches a file descriptor (standard output or standard error) while it lives.
class FdCapture {
 public:
  explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile()) {
    flushAll();
    saved_ = ::dup(fd_);
    ::dup2(::fileno(file_), fd_);
  }
  ~FdCapture() {
    restore();
    std::fclose(file_);
  }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  // Everything written so far; stops the capture.
  std::string text() {
    restore();
    std::string all;
    std::rewind(file_);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
      all.append(buffer, n);
    return all;
  }

 private:
  static void flushAll() {
    std::fflush(stdout);
    std::fflush(stderr);
  }
  void restore() {
    if (saved_ < 0) return;
    flushAll();
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
  }
  int fd_;
  std::FILE* file_;
  int saved_ = -1;
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// The facility is process-wide: every test starts from and returns to the program's own set-up
// (direct mode, errors only).
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/chgtune_log_XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    logPath_ = name;
    setLogMode(LogMode());
    logVerbosity = LOG_ERROR;
  }
  void TearDown() override {
    setLogMode(LogMode());
    logVerbosity = LOG_ERROR;
    std::remove(logPath_.c_str());
  }
  // Lines go to the temporary log file instead of standard error.
  LogMode toFile(std::int32_t budget = -1, std::int32_t reset = -1, std::size_t slots = 0) {
    LogMode mode;
    mode.logFile = logPath_;
    mode.printBudget = budget;
    mode.budgetReset = reset;
    mode.ringSlots = slots;
    return mode;
  }
  std::string logged() { return readFile(logPath_); }

  std::string logPath_;
};

TEST(LogStampTest, SecondsAndMillisecondsSinceStartWrappingEvery1000Seconds) {
  const struct {
    std::int64_t micros;
    const char* stamp;
  } cases[] = {
      {0, "000.000 "},          {999, "000.000 "},  // below a millisecond
      {1204000, "001.204 "},                        // the error at 1.204 s
      {12345678, "012.345 "},                       // milliseconds are cut, not rounded
      {999999999, "999.999 "},                      // last stamp before the wrap
      {1000000000, "000.000 "},                     // the seconds field wraps at 1000 s
      {1000500000, "000.500 "},                     // 1,000.5 s
      {3723004000, "723.004 "},                     // an hour and two minutes in
  };
  for (const auto& c : cases) EXPECT_EQ(logStamp(c.micros), c.stamp) << c.micros;
}

TEST_F(LogTest, DefaultVerbosityShowsErrorsOnlyOnStandardError) {
  FdCapture err(STDERR_FILENO);
  logInfo("settings", "info line");
  logWarning("serial", "warning line");
  logError("settings", "retrieve: no ping reply");
  const std::vector<std::string> lines = linesOf(err.text());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\d{3}\.\d{3} ERR\.settings: retrieve: no ping reply)")))
      << lines[0];
}

TEST_F(LogTest, BelowTheVerbosityTheFormatIsNotEvenExpanded) {
  // %n stores how many characters were formatted so far: it changes the variable only when the
  // format is expanded.
  setLogMode(toFile());
  const struct {
    std::uint8_t verbosity;
    bool infoExpanded;
    bool warningExpanded;
    bool errorExpanded;
  } cases[] = {{LOG_ERROR, false, false, true},
               {LOG_WARNING, false, true, true},
               {LOG_INFO, true, true, true}};
  for (const auto& c : cases) {
    logVerbosity = c.verbosity;
    int info = -1, warning = -1, error = -1;
    logInfo("reader", "abc%n", &info);
    logWarning("reader", "abcd%n", &warning);
    logError("reader", "abcde%n", &error);
    EXPECT_EQ(info, c.infoExpanded ? 3 : -1) << int(c.verbosity);
    EXPECT_EQ(warning, c.warningExpanded ? 4 : -1) << int(c.verbosity);
    EXPECT_EQ(error, c.errorExpanded ? 5 : -1) << int(c.verbosity);
  }
}

TEST_F(LogTest, VerboseShowsEveryLevelInCallOrderWithLevelNameAndCategory) {
  setLogMode(toFile());
  logVerbosity = LOG_INFO;
  logInfo("hex_proto", "hex: ping");
  logWarning("serial", "serial port error [%s]: %s (%d)", "system", "Operation canceled", 125);
  logError("capabilities", "no device id reply");
  const std::vector<std::string> lines = linesOf(logged());
  ASSERT_EQ(lines.size(), 3u);
  const char* expected[] = {
      R"(\d{3}\.\d{3} INF\.hex_proto: hex: ping)",
      R"(\d{3}\.\d{3} WRN\.serial: serial port error \[system\]: Operation canceled \(125\))",
      R"(\d{3}\.\d{3} ERR\.capabilities: no device id reply)"};
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];
}

TEST_F(LogTest, LongMessagesArePrintedWholeAcrossEveryBufferStep) {
  setLogMode(toFile());
  // Around the first buffer of 1024 bytes (1023 characters and the terminator), the second step,
  // and far beyond.
  const std::size_t lengths[] = {1022, 1023, 1024, 1025, 2047, 2048, 2049, 10000};
  std::string expected;
  for (std::size_t length : lengths) {
    std::string message(length, 'x');
    message.back() = '|';  // the end of the message is the part that gets lost
    logError("settings", "%s", message.c_str());
    expected += "ERR.settings: " + message + "\n";
  }
  std::string all = logged();
  std::string withoutStamps;
  for (const std::string& line : linesOf(all)) withoutStamps += line.substr(8) + "\n";
  EXPECT_EQ(withoutStamps, expected);
}

TEST_F(LogTest, ALongCategoryIsKeptWhole) {
  setLogMode(toFile());
  const std::string category(200, 'c');
  logError(category.c_str(), "m");
  EXPECT_EQ(logged().substr(8), "ERR." + category + ": m\n");
}

TEST_F(LogTest, AnErrorFlushesTheRingOldestFirstThenFollowsTheResetBudget) {
  setLogMode(toFile(/*budget=*/0, /*reset=*/-1, /*slots=*/3));
  logVerbosity = LOG_INFO;
  FdCapture out(STDOUT_FILENO);
  for (int i = 1; i <= 5; ++i) logInfo("settings", "line %d", i);
  EXPECT_EQ(logged(), "") << "held lines are not written";
  logError("settings", "the error");
  logInfo("settings", "after");  // direct mode again: written at once

  const std::string dumped = out.text();
  const std::string separator = "\n-------- dumping backlog -------\n";
  ASSERT_EQ(dumped.rfind(separator, 0), 0u) << dumped;
  std::string body;
  for (const std::string& line : linesOf(dumped.substr(separator.size())))
    body += line.substr(8) + "\n";
  EXPECT_EQ(body, "INF.settings: line 3\nINF.settings: line 4\nINF.settings: line 5\n");
  const std::vector<std::string> direct = linesOf(logged());
  ASSERT_EQ(direct.size(), 2u);
  EXPECT_EQ(direct[0].substr(8), "ERR.settings: the error");
  EXPECT_EQ(direct[1].substr(8), "INF.settings: after");
}

TEST_F(LogTest, AnErrorWhoseResetBudgetIsZeroGoesIntoTheEmptiedRing) {
  setLogMode(toFile(0, 0, 4));
  logVerbosity = LOG_INFO;
  FdCapture out(STDOUT_FILENO);
  logInfo("serial", "one");
  logError("serial", "first error");     // flushes "one", then is held itself
  logWarning("serial", "held warning");  // a warning never flushes
  const std::string afterFirst = out.text();
  EXPECT_EQ(logged(), "");

  FdCapture again(STDOUT_FILENO);
  dumpBacklog();
  std::string body;
  for (const std::string& line : linesOf(again.text()))
    body += line.substr(line.empty() ? 0 : 8) + "\n";
  EXPECT_NE(afterFirst.find("INF.serial: one\n"), std::string::npos) << afterFirst;
  EXPECT_EQ(afterFirst.find("first error"), std::string::npos) << afterFirst;
  EXPECT_NE(body.find("ERR.serial: first error\nWRN.serial: held warning\n"), std::string::npos)
      << body;
}

TEST_F(LogTest, APositiveBudgetWritesThatManyLinesThenDropsWithoutARing) {
  setLogMode(toFile(2, -1, 0));
  logVerbosity = LOG_INFO;
  logInfo("reader", "1");
  logInfo("reader", "2");
  logInfo("reader", "3");   // budget used up, no ring: dropped
  logError("reader", "4");  // an error restores the reset budget (-1) and is written
  logInfo("reader", "5");
  std::string body;
  for (const std::string& line : linesOf(logged())) body += line.substr(8) + "\n";
  EXPECT_EQ(body, "INF.reader: 1\nINF.reader: 2\nERR.reader: 4\nINF.reader: 5\n");
}

TEST_F(LogTest, DumpBacklogWritesNothingWithoutHeldLines) {
  logVerbosity = LOG_INFO;
  {
    FdCapture out(STDOUT_FILENO);
    dumpBacklog();  // direct mode: no ring at all
    EXPECT_EQ(out.text(), "");
  }
  setLogMode(toFile(0, -1, 3));
  {
    FdCapture out(STDOUT_FILENO);
    dumpBacklog();  // a ring with nothing in it
    EXPECT_EQ(out.text(), "");
  }
  logInfo("settings", "a");
  logInfo("settings", "b");
  {
    FdCapture out(STDOUT_FILENO);
    dumpBacklog();  // not wrapped: from the first slot
    dumpBacklog();  // emptied by the first dump
    const std::vector<std::string> lines = linesOf(out.text());
    ASSERT_EQ(lines.size(), 4u);  // empty line, separator, a, b
    EXPECT_EQ(lines[2].substr(8), "INF.settings: a");
    EXPECT_EQ(lines[3].substr(8), "INF.settings: b");
  }
  // After a dump the ring starts again at its first slot: a later dump is not wrapped.
  logInfo("settings", "c");
  FdCapture out(STDOUT_FILENO);
  dumpBacklog();
  const std::vector<std::string> lines = linesOf(out.text());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(8), "INF.settings: c");
}

TEST_F(LogTest, ALogFileThatCannotBeOpenedFallsBackToStandardError) {
  LogMode mode;
  mode.logFile = "/nonexistent-folder/chgtune.log";
  setLogMode(mode);
  FdCapture err(STDERR_FILENO);
  logError("settings", "still shown");
  const std::string text = err.text();
  EXPECT_NE(text.find("ERR.settings: still shown\n"), std::string::npos) << text;
}

TEST_F(LogTest, LinesFromTwoThreadsNeverInterleave) {
  setLogMode(toFile());
  logVerbosity = LOG_INFO;
  const int perThread = 300;
  auto writer = [](const char* category) {
    for (int i = 0; i < perThread; ++i)
      logInfo(category, "%d %s", i, std::string(100, 'z').c_str());
  };
  std::thread reader(writer, "reader");
  writer("settings");
  reader.join();
  const std::regex whole(R"(\d{3}\.\d{3} INF\.(reader|settings): \d+ z{100})");
  const std::vector<std::string> lines = linesOf(logged());
  ASSERT_EQ(lines.size(), 2u * perThread);
  for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

}  // namespace
}  // namespace sunlink
