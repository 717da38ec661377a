#include "support/e2e_support.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "protocol/registers.h"

namespace sunlink {
namespace test {

std::ostream& operator<<(std::ostream& os, const WrittenValue& w) {
  return os << "0x" << std::hex << std::uppercase << std::setw(4) << std::setfill('0') << w.id
            << std::dec << ":=" << w.value;
}

std::string valueText(const sim::RegisterBytes& bytes) {
  std::ostringstream text;
  for (auto it = bytes.rbegin(); it != bytes.rend(); ++it)
    text << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << unsigned(*it);
  return text.str();
}

std::vector<WrittenValue> writtenValues(const sim::ChargerSim& sim) {
  std::vector<WrittenValue> values;
  for (const sim::Write& w : sim.writes()) values.push_back({w.id, valueText(w.value)});
  return values;
}

std::size_t setRequestCount(const sim::ChargerSim& sim) {
  std::size_t count = 0;
  for (const HexMsg& request : sim.requests())
    count += !request.bytes().empty() && request.bytes()[0] == CMD_SET_REGISTER;
  return count;
}

std::vector<WrittenValue> chargerOffWrites() {
  return {{REG_DEVICE_MODE_UNLOCK, "0002"}, {REG_DEVICE_MODE, "0004"}};
}

std::vector<WrittenValue> chargerOnWrites() {
  return {{REG_DEVICE_MODE_UNLOCK, "0002"}, {REG_DEVICE_MODE, "0003"}};
}

SimulatedCharger::SimulatedCharger(const std::string& profile, sim::Faults faults)
    : SimulatedCharger(sim::profileByName(profile), faults) {}

SimulatedCharger::SimulatedCharger(sim::Profile profile, sim::Faults faults)
    : sim_(new sim::ChargerSim(std::move(profile), faults)) {
  path_ = sim_->start();
}

ProcessResult SimulatedCharger::run(std::vector<std::string> args, const std::string& stdinText) {
  args.insert(args.begin(), {"--serial", path_});
  ProcessResult result = runChgtune(args, stdinText);
  // A request the program sent just before it gave up and ended may still be on its way.
  if (!sim_->waitUntilRead(std::chrono::seconds(10)))
    ADD_FAILURE() << "the simulated charger did not read what the program sent";
  return result;
}

ProcessResult SimulatedCharger::run(std::vector<std::string> args, const ProcessOptions& options) {
  args.insert(args.begin(), {"--serial", path_});
  ProcessResult result = Process(chgtuneBinary(), args, options).finish();
  if (!sim_->waitUntilRead(std::chrono::seconds(10)))
    ADD_FAILURE() << "the simulated charger did not read what the program sent";
  return result;
}

InProcessResult SimulatedCharger::runInProcess(std::vector<std::string> args,
                                               const InProcessOptions& options) {
  args.insert(args.begin(), {"--serial", path_});
  InProcessResult result = test::runInProcess(args, options);
  if (!sim_->waitUntilRead(std::chrono::seconds(10)))
    ADD_FAILURE() << "the simulated charger did not read what the program sent";
  return result;
}

std::unique_ptr<Process> SimulatedCharger::start(std::vector<std::string> args,
                                                 const ProcessOptions& options) {
  args.insert(args.begin(), {"--serial", path_});
  return std::make_unique<Process>(chgtuneBinary(), args, options);
}

HeldLine::HeldLine(SimulatedCharger& charger) {
  const std::string& path = charger.path();
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("open " + path);
  termios line{};
  ::tcgetattr(fd_, &line);
  line.c_iflag |= ICRNL;
  line.c_oflag |= OPOST | ONLCR;
  line.c_lflag |= ICANON | ISIG | IEXTEN;
  line.c_lflag &= ~(ECHO | ECHONL);  // no echo: the charger's bytes must not go back to it
  if (::tcsetattr(fd_, TCSANOW, &line) != 0) throw std::runtime_error("tcsetattr " + path);
  // The simulator learns of opens from notifications that merge when they come back to back: a
  // program opening the path before this open was counted would be taken for the same one, and
  // its close for the last.
  if (!charger.sim().waitForProgram(true, std::chrono::seconds(60)))
    throw std::runtime_error("the simulator did not see " + path + " opened");
}

HeldLine::~HeldLine() { ::close(fd_); }

std::string HeldLine::settings() const {
  termios line{};
  if (::tcgetattr(fd_, &line) != 0) return "(unreadable)";
  std::ostringstream text;
  text << std::hex << line.c_iflag << ":" << line.c_oflag << ":" << line.c_cflag << ":"
       << line.c_lflag << ":" << ::cfgetispeed(&line) << ":" << ::cfgetospeed(&line);
  for (cc_t c : line.c_cc) text << ":" << unsigned(c);
  return text.str();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "chgtune-e2e-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string withoutIdentity(const std::string& document) {
  const std::size_t start = document.find("    <identity ");
  if (start == std::string::npos) return document;
  const std::size_t end = document.find('\n', start);
  return document.substr(0, start) + (end == std::string::npos ? "" : document.substr(end + 1));
}

}  // namespace test
}  // namespace sunlink
