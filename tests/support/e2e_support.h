// Shared pieces of the end-to-end tests: a simulated charger on a pty for the real chgtune binary,
// and readable views of what reached the charger.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/charger_sim.h"
#include "support/in_process_run.h"
#include "support/process.h"

namespace sunlink {
namespace test {

// One register write as the tests compare it: the id and the value in value order (most
// significant digit first), "0564" for the bytes 0x64, 0x05.
struct WrittenValue {
  std::uint16_t id;
  std::string value;
  bool operator==(const WrittenValue& o) const { return id == o.id && value == o.value; }
};
std::ostream& operator<<(std::ostream& os, const WrittenValue& w);

std::string valueText(const sim::RegisterBytes& bytes);
std::vector<WrittenValue> writtenValues(const sim::ChargerSim& sim);
// Set-register requests that reached the charger, accepted or not (the switch off/on included).
std::size_t setRequestCount(const sim::ChargerSim& sim);

// The four writes that switch the charger off before a store and on after it.
std::vector<WrittenValue> chargerOffWrites();
std::vector<WrittenValue> chargerOnWrites();

// A running simulator of the named profile; the program opens path.
class SimulatedCharger {
 public:
  explicit SimulatedCharger(const std::string& profile, sim::Faults faults = sim::Faults());
  // A profile changed by the test (a planted model name or TEXT label).
  explicit SimulatedCharger(sim::Profile profile, sim::Faults faults = sim::Faults());
  sim::ChargerSim& sim() { return *sim_; }
  const std::string& path() const { return path_; }
  // Runs chgtune with --serial path followed by args; returns once the simulator has read
  // everything it sent.
  ProcessResult run(std::vector<std::string> args, const std::string& stdinText = std::string());
  // The same with the child's streams set up as options say.
  ProcessResult run(std::vector<std::string> args, const ProcessOptions& options);
  // Runs chgtune with --serial path followed by args in this process (support/in_process_run.h);
  // returns once the simulator has read everything it sent.
  InProcessResult runInProcess(std::vector<std::string> args,
                               const InProcessOptions& options = InProcessOptions());
  // Starts chgtune with --serial path followed by args, for a test that acts while it runs.
  std::unique_ptr<Process> start(std::vector<std::string> args,
                                 const ProcessOptions& options = ProcessOptions());

 private:
  std::unique_ptr<sim::ChargerSim> sim_;
  std::string path_;
};

// Holds the simulated charger's port open the way a terminal program does, with line settings of
// its own (line editing, output processing, no echo), so that a test sees the line settings a run
// leaves behind: the simulator puts its line back into raw mode only once the last program has
// closed it.
class HeldLine {
 public:
  // Returns once the simulator counts the line's holder among the programs that have it open.
  explicit HeldLine(SimulatedCharger& charger);
  ~HeldLine();
  HeldLine(const HeldLine&) = delete;
  HeldLine& operator=(const HeldLine&) = delete;
  // The line settings now, as text that compares equal when they are the same.
  std::string settings() const;

 private:
  int fd_ = -1;
};

// A fresh temporary folder, removed with its content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// How many times part occurs in text (overlapping ones counted).
std::size_t occurrences(const std::string& text, const std::string& part);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// A settings document without its identity line, which names the day it was written: two
// downloads of the same charger compare equal this way.
std::string withoutIdentity(const std::string& document);

}  // namespace test
}  // namespace sunlink
