#include "support/log_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "base/log.h"

namespace sunlink {
namespace test {

LogCapture::LogCapture() {
  std::string name = ::testing::TempDir() + "chgtune_log_XXXXXX";
  const int fd = ::mkstemp(&name[0]);
  if (fd >= 0) ::close(fd);
  path_ = name;
  savedVerbosity_ = logVerbosity;
  logVerbosity = LOG_INFO;
  LogMode mode;
  mode.logFile = path_;
  setLogMode(mode);
}

LogCapture::~LogCapture() {
  setLogMode(LogMode());
  logVerbosity = savedVerbosity_;
  std::remove(path_.c_str());
}

std::vector<std::string> LogCapture::lines() const {
  std::ifstream in(path_);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);) {
    const std::size_t blank = line.find(' ');
    result.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
  }
  return result;
}

std::vector<std::string> LogCapture::category(const std::string& name) const {
  std::vector<std::string> result;
  for (const std::string& line : lines()) {
    const std::size_t dot = line.find('.');
    if (dot != std::string::npos && line.compare(dot + 1, name.size() + 1, name + ":") == 0)
      result.push_back(line);
  }
  return result;
}

bool LogCapture::contains(const std::string& line) const {
  for (const std::string& l : lines()) {
    if (l == line) return true;
  }
  return false;
}

std::vector<std::string> LogCapture::messages(const std::string& prefix) const {
  std::ifstream in(path_);
  std::vector<std::string> result;
  const std::string marker = " " + prefix + ": ";
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(marker);
    if (at != std::string::npos) result.push_back(line.substr(at + marker.size()));
  }
  return result;
}

void LogCapture::reset() { std::ofstream(path_, std::ios::trunc); }

}  // namespace test
}  // namespace sunlink
