// The chgsim executable: options, the path on the first line, stopping on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "tests/sim/sim_line.h"

namespace sunlink {
namespace sim {
namespace {

using test::getRequest;
using test::msg;
using test::setRequest;
using test::SimLine;

bool haveBinary() { return access(CHGSIM_BINARY, X_OK) == 0; }

// chgsim running with the given options, its standard output and error on pipes.
class Chgsim {
 public:
  explicit Chgsim(const std::vector<std::string>& options) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      ::close(out[0]);
      ::close(err[0]);
      std::vector<char*> argv{const_cast<char*>(CHGSIM_BINARY)};
      for (const std::string& option : options) argv.push_back(const_cast<char*>(option.c_str()));
      argv.push_back(nullptr);
      execv(CHGSIM_BINARY, argv.data());
      _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = fdopen(out[0], "r");
    errFd_ = err[0];
  }
  ~Chgsim() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
    if (errFd_ >= 0) ::close(errFd_);
  }

  std::string line() {
    char buffer[512];
    if (!out_ || !fgets(buffer, sizeof buffer, out_)) return std::string();
    return buffer;
  }
  std::string restOfOutput() {
    std::string all;
    for (std::string l; !(l = line()).empty();) all += l;
    return all;
  }
  std::string errors() {
    std::string all;
    char buffer[512];
    for (ssize_t n; (n = ::read(errFd_, buffer, sizeof buffer)) > 0;) all.append(buffer, n);
    return all;
  }
  int stop(int signal) {
    kill(pid_, signal);
    return exitStatus();
  }
  int exitStatus() {
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  FILE* out_ = nullptr;
  int errFd_ = -1;
};

TEST(ChgsimMainTest, PrintsThePathFirstAndAnswersUntilSignalled) {
  if (!haveBinary()) GTEST_SKIP() << "build the chgsim target first";
  for (int signal : {SIGTERM, SIGINT}) {
    Chgsim chgsim({"--profile", "recent", "--text-interval", "0", "--register", "0x0140=00000000",
                   "--refuse-set", "0xEDF6", "--flags-on-get", "0xEDF2", "--flags-on-get",
                   "0xEDF0=0x01", "--verbose"});
    std::string path = chgsim.line();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    path.pop_back();  // the line end
    std::size_t bytesIn = 0, bytesOut = 0;
    {
      SimLine line(path);
      ASSERT_TRUE(line.isOpen());
      const std::vector<std::pair<HexMsg, HexMsg>> exchanges = {
          {msg({0x01}), msg({0x05, 0x17, 0x41})},
          {getRequest(0x0140), msg({0x07, 0x40, 0x01, 0, 0, 0, 0, 0})},
          {setRequest(0xEDF6, {0x64, 0x05}), msg({0x04, 0xF6, 0xED})},
          {setRequest(0xEDF7, {0xA0, 0x05}), msg({0x08, 0xF7, 0xED, 0, 0xA0, 0x05})},
          // A flags byte alone is "not supported", a failed read; 0x01 is "unknown id".
          {getRequest(0xEDF2), msg({0x07, 0xF2, 0xED, 0x02})},
          {getRequest(0xEDF0), msg({0x07, 0xF0, 0xED, 0x01})},
      };
      for (const auto& exchange : exchanges) {
        EXPECT_EQ(line.ask(exchange.first), exchange.second.toText());
        bytesIn += exchange.first.toText().size();
        bytesOut += exchange.second.toText().size();
      }
    }
    EXPECT_EQ(chgsim.stop(signal), 0);
    EXPECT_EQ(chgsim.restOfOutput(), "");  // nothing but the path on standard output
    const std::string errors = chgsim.errors();
    EXPECT_NE(errors.find(">> :154\n<< :51741F8\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("chgsim: 6 requests, 0 damaged, 6 replies"), std::string::npos) << errors;
    EXPECT_NE(errors.find("chgsim: " + std::to_string(bytesIn) + " bytes received, " +
                          std::to_string(bytesOut) + " bytes sent\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("chgsim: write 0xEDF7 = 05A0\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("0xEDF6 ="), std::string::npos) << errors;
  }
}

TEST(ChgsimMainTest, ListsProfilesAndRefusesBadOptions) {
  if (!haveBinary()) GTEST_SKIP() << "build the chgsim target first";
  Chgsim list({"--list-profiles"});
  const std::string profiles = list.restOfOutput();
  EXPECT_EQ(list.exitStatus(), 0);
  for (const char* name :
       {"load115 ", "rotary113 ", "recent ", "bootloader ", "monitor ", "silent "}) {
    EXPECT_NE(("\n" + profiles).find(std::string("\n") + name), std::string::npos)
        << name << " in " << profiles;
  }

  const std::vector<std::vector<std::string>> bad = {
      {"--profile", "nonesuch"}, {"--refuse-set", "0x10000"}, {"--register", "0xEDF7=5A0"},
      {"--latency", "soon"},     {"--no-such-option"},        {"--flags-on-get", "0xEDF7=0x100"},
      {"--day-seconds", "-1"},   {"--error", "256"},
  };
  for (const auto& options : bad) {
    Chgsim chgsim(options);
    EXPECT_EQ(chgsim.line(), "") << options[0];  // no path: it never started
    EXPECT_EQ(chgsim.exitStatus(), 2) << options[0];
    EXPECT_EQ(chgsim.errors().rfind("chgsim: ", 0), 0u) << options[0];
  }
}

// The live values: a day that moves them, an error raised, and a label fixed whatever they do.
TEST(ChgsimMainTest, SendsTheDayAndTheErrorAskedFor) {
  if (!haveBinary()) GTEST_SKIP() << "build the chgsim target first";
  Chgsim chgsim(
      {"--day-seconds", "60", "--error", "17", "--text-label", "V=13000", "--text-interval", "10"});
  std::string path = chgsim.line();
  ASSERT_FALSE(path.empty());
  path.pop_back();
  SimLine line(path);
  ASSERT_TRUE(line.isOpen());
  ASSERT_TRUE(line.readUntil([](const std::string& s) {
    const std::size_t start = s.find("\r\nPID\t");
    return start != std::string::npos && s.find("\r\nChecksum\t", start) != std::string::npos;
  }));
  const std::string& block = line.buffer();
  for (const char* pair : {"\r\nV\t13000\r\n", "\r\nCS\t2\r\n", "\r\nERR\t17\r\n",
                           "\r\nMPPT\t0\r\n", "\r\nHSDS\t0\r\n"}) {
    EXPECT_NE(block.find(pair), std::string::npos) << pair << " in " << block;
  }
  EXPECT_EQ(chgsim.stop(SIGTERM), 0);
}

// The charger's own texts can be planted with control characters, and the port can be held as
// another program holds it.
TEST(ChgsimMainTest, PlantsTextsWithEscapesAndHoldsThePortWhenBusy) {
  if (!haveBinary()) GTEST_SKIP() << "build the chgsim target first";
  {
    Chgsim chgsim(
        {"--profile", "recent", "--text-interval", "0", "--register", "0x010B=text:A\\x1B[2J\\n"});
    std::string path = chgsim.line();
    ASSERT_FALSE(path.empty());
    path.pop_back();
    SimLine line(path);
    ASSERT_TRUE(line.isOpen());
    EXPECT_EQ(line.ask(getRequest(0x010B)),
              msg({0x07, 0x0B, 0x01, 0, 'A', 0x1B, '[', '2', 'J', '\n'}).toText());
    EXPECT_EQ(chgsim.stop(SIGTERM), 0);
  }
  {
    Chgsim chgsim({"--busy"});
    std::string path = chgsim.line();
    ASSERT_FALSE(path.empty());
    path.pop_back();
    boost::system::error_code ec;
    const SerialPortHandle port = openSerialPortExclusive(path, ec);
    EXPECT_EQ(ec, boost::system::errc::device_or_resource_busy) << ec.message();
    if (port >= 0) closeSerialPort(port);
    EXPECT_EQ(chgsim.stop(SIGTERM), 0);
  }
}

}  // namespace
}  // namespace sim
}  // namespace sunlink
