// LogCapture: collects the program's log lines while a test runs, every level shown, in a file of
// its own, and hands them back without their time stamps ("ERR.settings: push: vreg \"x\" already
// present"). On the way out it restores the log mode and verbosity and removes the file.
//
// Create it before any link starts a reader thread: the verbosity may only change while none runs.
// Owns the file; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sunlink {
namespace test {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Every line so far, stamp removed.
  std::vector<std::string> lines() const;
  // The lines of one category ("settings"), in order.
  std::vector<std::string> category(const std::string& name) const;
  bool contains(const std::string& line) const;
  // What follows the prefix in the lines that carry it, in order: messages("INF.capabilities")
  // gives the messages of that level and category, messages("INF.serial: dumper") the dump's.
  std::vector<std::string> messages(const std::string& prefix) const;
  // Forgets the lines so far.
  void reset();

 private:
  std::string path_;
  std::uint8_t savedVerbosity_;
};

}  // namespace test
}  // namespace sunlink
