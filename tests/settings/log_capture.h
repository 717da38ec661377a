// Collects the program's log lines while a test runs, every level shown, and hands them back
// without their time stamps ("ERR.settings: push: vreg \"x\" already present").
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/log.h"

namespace sunlink {
namespace testing_settings {

class LogCapture {
 public:
  LogCapture() {
    char name[] = "/tmp/chgtune_settings_log_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    path_ = name;
    savedVerbosity_ = logVerbosity;
    logVerbosity = LOG_INFO;
    LogMode mode;
    mode.logFile = path_;
    setLogMode(mode);
  }
  ~LogCapture() {
    setLogMode(LogMode());
    logVerbosity = savedVerbosity_;
    std::remove(path_.c_str());
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Every line so far, stamp removed.
  std::vector<std::string> lines() const {
    std::ifstream in(path_);
    std::vector<std::string> result;
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t blank = line.find(' ');
      result.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
    }
    return result;
  }
  // The lines of one category ("settings"), in order.
  std::vector<std::string> category(const std::string& name) const {
    std::vector<std::string> result;
    for (const std::string& line : lines()) {
      const std::size_t dot = line.find('.');
      if (dot != std::string::npos && line.compare(dot + 1, name.size() + 1, name + ":") == 0)
        result.push_back(line);
    }
    return result;
  }
  bool contains(const std::string& line) const {
    for (const std::string& l : lines()) {
      if (l == line) return true;
    }
    return false;
  }
  // Forgets the lines so far.
  void reset() { std::ofstream(path_, std::ios::trunc); }

 private:
  std::string path_;
  std::uint8_t savedVerbosity_;
};

}  // namespace testing_settings
}  // namespace sunlink
