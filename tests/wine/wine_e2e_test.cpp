// chgtune.exe, cross-built for Windows, run under Wine as a user runs it, against the simulated
// charger on a pseudo-terminal that Wine presents as a COM port. Each run is compared with the
// Linux chgtune against a fresh simulator of the same profile: the same output, exit status and
// registers written.
//
// Run from the Windows build's tests (scripts/test --windows), which make a fresh Wine prefix
// and name it in WINEPREFIX; WINE names Wine's loader, WINESERVER its server and CHGTUNE_EXE the
// program under test.
//
// Differences that are Windows' own are made equal before comparing, and only these:
// - line ends: the Windows C runtime ends lines with CR LF on a pipe or in a file;
// - the port: COM5 instead of the pseudo-terminal's path (the programs do not print it);
// - file names: the Windows run is given a Windows path (Z:\...) to its own settings file.
// Log lines' time stamps differ from run to run on any system and are not compared.
//
// Not tested here: that a port is used by one program at a time. Wine lets a second program open
// a COM port, which Windows itself refuses; the exclusive open is tested on Linux only
// (tests/e2e/fault_matrix_test.cpp, tests/link/qmx_serial_test.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "protocol/registers.h"
#include "support/e2e_support.h"
#include "support/process.h"

namespace sunlink {
namespace test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kAbsorption = 0xEDF7;  // 0.01 V

struct Wine {
  std::string loader = env("WINE");
  std::string server = env("WINESERVER");
  std::string prefix = env("WINEPREFIX");
  std::string program = env("CHGTUNE_EXE");

  static std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
  }
};

const Wine& wine() {
  static const Wine setup;
  return setup;
}

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never the user's own prefix: the tests change its ports.
    ASSERT_FALSE(wine().prefix.empty()) << "WINEPREFIX is not set";
    ASSERT_TRUE(fs::is_directory(fs::path(wine().prefix) / "dosdevices")) << wine().prefix;
    ASSERT_FALSE(wine().loader.empty()) << "WINE is not set";
    ASSERT_TRUE(fs::exists(wine().program)) << "CHGTUNE_EXE: " << wine().program;
  }
};

std::string withoutCarriageReturns(std::string text) {
  std::string::size_type at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
  return text;
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
  for (std::string::size_type at = 0; (at = text.find(what, at)) != std::string::npos;
       at += with.size())
    text.replace(at, what.size(), with);
  return text;
}

// Wine's drive Z: is the root of the Linux file system.
std::string windowsPath(const std::string& path) { return "Z:" + replaced(path, "/", "\\"); }

// A pseudo-terminal as COMn of the prefix: the link dosdevices/comN that Wine opens \\.\COMn
// through. Removed again when the mapping goes.
class ComPort {
 public:
  ComPort(int number, const std::string& target)
      : name_("COM" + std::to_string(number)),
        link_(fs::path(wine().prefix) / "dosdevices" / ("com" + std::to_string(number))) {
    fs::remove(link_);
    fs::create_symlink(target, link_);
  }
  ~ComPort() {
    std::error_code ignored;
    fs::remove(link_, ignored);
  }
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  fs::path link_;
};

ProcessResult runWindowsProgram(std::vector<std::string> args, const std::string& stdinText) {
  args.insert(args.begin(), wine().program);
  ProcessResult r = runProcess(wine().loader, args, stdinText);
  r.out = withoutCarriageReturns(r.out);
  r.err = withoutCarriageReturns(r.err);
  return r;
}

// One run against a fresh simulator, and what reached it.
struct Outcome {
  ProcessResult process;
  std::vector<WrittenValue> writes;
  bool chargerOn = false;
};

struct Scenario {
  const char* name;
  const char* profile;
  sim::Faults faults;
  std::vector<std::string> args;
  std::string input;
};

Outcome runLinux(const Scenario& s) {
  SimulatedCharger charger(s.profile, s.faults);
  ProcessResult r = charger.run(s.args, s.input);
  return {r, writtenValues(charger.sim()), charger.sim().chargerOn()};
}

Outcome runWindows(const Scenario& s) {
  SimulatedCharger charger(s.profile, s.faults);
  ComPort port(5, charger.path());
  std::vector<std::string> args = s.args;
  args.insert(args.begin(), {"--serial", port.name()});
  ProcessResult r = runWindowsProgram(args, s.input);
  return {r, writtenValues(charger.sim()), charger.sim().chargerOn()};
}

// Log lines begin with the time since start ("000.005 ERR.settings: ..."), which no two runs
// share; it is blanked out for comparing.
std::string withoutTimeStamps(const std::string& log) {
  static const std::regex stamp("(^|\n)[0-9]{3}\\.[0-9]{3} ");
  return std::regex_replace(log, stamp, "$1SSS.mmm ");
}

void expectSameRun(const Outcome& onLinux, const Outcome& onWindows) {
  EXPECT_FALSE(onWindows.process.timedOut);
  EXPECT_EQ(onWindows.process.exitCode, onLinux.process.exitCode);
  EXPECT_EQ(onWindows.process.out, onLinux.process.out);
  EXPECT_EQ(withoutTimeStamps(onWindows.process.err), withoutTimeStamps(onLinux.process.err));
  EXPECT_EQ(onWindows.writes, onLinux.writes);
  EXPECT_EQ(onWindows.chargerOn, onLinux.chargerOn);
}

bool wrote(const std::vector<WrittenValue>& writes, std::uint16_t id, const std::string& value) {
  for (const WrittenValue& w : writes)
    if (w.id == id && w.value == value) return true;
  return false;
}

TEST_F(WineTest, RunsLikeTheLinuxProgram) {
  sim::Faults refuseAbsorption;
  refuseAbsorption.refuseSet = {kAbsorption};
  sim::Faults refuseSwitchOn;
  refuseSwitchOn.refuseSwitchOn = true;
  struct Case {
    Scenario scenario;
    int status;
    const char* written;  // the absorption voltage the run stores, "" for none
    const char* said;     // a part of what the run prints on standard output or error
  };
  const Case cases[] = {
      {{"get", "load115", {}, {"--get"}, ""}, 0, "", "Battery Type = "},
      {{"store", "load115", {}, {"--abs", "14.5"}, ""}, 0, "05AA", "Battery Type = "},
      {{"menu", "load115", {}, {}, "a\n14.2\nx\n"}, 0, "058C", "Battery Type = "},
      {{"menu, refused value", "load115", {}, {}, "a\n99\nx\n"}, 0, "", "must be between"},
      {{"refused store", "load115", refuseAbsorption, {"--abs", "14.5"}, ""}, 95, "", "Battery"},
      {{"refused switch-on", "load115", refuseSwitchOn, {"--abs", "14.5"}, ""},
       22,
       "05AA",
       "may be left off"},
      {{"stray argument", "load115", {}, {"--get", "COM3"}, ""}, 255, "", "positional"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario.name);
    const Outcome onLinux = runLinux(c.scenario);
    // The reference itself must be right, or two equally broken runs would pass.
    ASSERT_EQ(onLinux.process.exitCode, c.status) << onLinux.process.err;
    ASSERT_TRUE(contains(onLinux.process.out + onLinux.process.err, c.said)) << onLinux.process.out;
    if (*c.written) {
      EXPECT_TRUE(wrote(onLinux.writes, kAbsorption, c.written));
    }
    expectSameRun(onLinux, runWindows(c.scenario));
  }
}

// Ctrl-C while the charger is switched off for a store: Wine turns SIGINT into the console's
// Ctrl-C event, as a console window does for the key. The store ends after the write in flight,
// the charger is switched on and the run ends with 130, as on Linux.
TEST_F(WineTest, CtrlCDuringTheStoreEndsItWithTheChargerOn) {
  sim::Faults holdAbsorptionWrite;
  holdAbsorptionWrite.holdReplyOnRegister = kAbsorption;
  holdAbsorptionWrite.holdOnSetOnly = true;
  Outcome outcomes[2];
  for (const bool windows : {false, true}) {
    SCOPED_TRACE(windows ? "Windows" : "Linux");
    SimulatedCharger charger("load115", holdAbsorptionWrite);
    std::unique_ptr<ComPort> port;
    std::unique_ptr<Process> run;
    if (windows) {
      port = std::make_unique<ComPort>(5, charger.path());
      run = std::make_unique<Process>(
          wine().loader, std::vector<std::string>{wine().program, "--serial", port->name(),
                                                  "--verbose", "--abs", "14.2"});
    } else {
      run = charger.start({"--verbose", "--abs", "14.2"});
    }
    ASSERT_TRUE(charger.sim().waitForHeldReply(std::chrono::seconds(60)));
    run->signal(SIGINT);
    // The held reply goes only once the request is known to be held, or the store could end
    // before the request arrives and the run would not be interrupted at all.
    ASSERT_TRUE(run->waitForErr("store: SIGINT received"));
    charger.sim().releaseHeldReply();
    ProcessResult r = run->finish();
    r.out = withoutCarriageReturns(r.out);
    // The log, which --verbose asks for so the test knows the request is held, is left out: its
    // threads' lines come in either order, and its last lines differ as systems do (the run's
    // length, the system's own words for the read the port's close cancels).
    static const std::regex logLine("(^|\n)[0-9]{3}\\.[0-9]{3} [A-Z]{3}\\.[^\n]*");
    r.err = std::regex_replace(withoutCarriageReturns(r.err), logLine, "");
    outcomes[windows] = {r, writtenValues(charger.sim()), charger.sim().chargerOn()};
  }
  const Outcome& onLinux = outcomes[0];
  ASSERT_EQ(onLinux.process.exitCode, 130) << onLinux.process.err;
  ASSERT_TRUE(contains(onLinux.process.err, "Store interrupted by SIGINT")) << onLinux.process.err;
  ASSERT_TRUE(onLinux.chargerOn);
  expectSameRun(onLinux, outcomes[1]);
}

TEST_F(WineTest, DownloadThenUploadLikeTheLinuxProgram) {
  TempDir dir;
  struct Side {
    std::string file;   // where the settings file lands
    std::string given;  // the name the program is given for it
    Outcome download;
    Outcome upload;
  };
  Side onLinux{dir.file("linux.xml"), dir.file("linux.xml"), {}, {}};
  Side onWindows{dir.file("windows.xml"), windowsPath(dir.file("windows.xml")), {}, {}};

  onLinux.download = runLinux({"download", "load115", {}, {"--download", onLinux.given}, ""});
  onWindows.download = runWindows({"download", "load115", {}, {"--download", onWindows.given}, ""});
  ASSERT_EQ(onLinux.download.process.exitCode, 0) << onLinux.download.process.err;
  onWindows.download.process.out =
      replaced(onWindows.download.process.out, onWindows.given, onLinux.given);
  onWindows.download.process.err =
      replaced(onWindows.download.process.err, onWindows.given, onLinux.given);
  expectSameRun(onLinux.download, onWindows.download);
  const std::string saved = readFile(onLinux.file);
  ASSERT_TRUE(contains(saved, "absorption_voltage")) << saved;
  EXPECT_EQ(withoutIdentity(readFile(onWindows.file)), withoutIdentity(saved))
      << "the same file, byte for byte";

  // An upload writes the settings of the file that differ from the charger's: the absorption
  // voltage, edited in both files alike.
  const std::regex absorption("(label=\"absorption_voltage\"[^>]* value=\")0x[0-9A-F]+");
  for (const Side* side : {&onLinux, &onWindows}) {
    const std::string edited = std::regex_replace(readFile(side->file), absorption, "$010x05AA");
    ASSERT_NE(edited, readFile(side->file));
    writeFile(side->file, edited);
  }
  sim::Faults none;
  Scenario linuxUpload{"upload", "load115", none, {"--upload", onLinux.given}, ""};
  Scenario windowsUpload{"upload", "load115", none, {"--upload", onWindows.given}, ""};
  onLinux.upload = runLinux(linuxUpload);
  onWindows.upload = runWindows(windowsUpload);
  ASSERT_EQ(onLinux.upload.process.exitCode, 0) << onLinux.upload.process.err;
  EXPECT_TRUE(wrote(onLinux.upload.writes, kAbsorption, "05AA"));
  onWindows.upload.process.out =
      replaced(onWindows.upload.process.out, onWindows.given, onLinux.given);
  onWindows.upload.process.err =
      replaced(onWindows.upload.process.err, onWindows.given, onLinux.given);
  expectSameRun(onLinux.upload, onWindows.upload);
}

// "--download -" puts the document on standard output as the very bytes a download writes to a
// file (no CR added), and a target that is no regular file gets nothing: a folder as on Linux, and
// on Windows alone a DOS device name, which names a device in every folder.
TEST_F(WineTest, SettingsFileTargets) {
  TempDir dir;
  const std::string file = dir.file("linux.xml");
  ASSERT_EQ(runLinux({"download", "load115", {}, {"--download", file}, ""}).process.exitCode, 0);
  {
    SimulatedCharger charger("load115");
    ComPort port(5, charger.path());
    const ProcessResult r =
        runProcess(wine().loader, {wine().program, "--serial", port.name(), "--download", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(withoutIdentity(r.out), withoutIdentity(readFile(file)))
        << "the same bytes as the file";
  }
  fs::create_directory(dir.file("folder"));
  const Outcome onLinux =
      runLinux({"folder", "load115", {}, {"--download", dir.file("folder")}, ""});
  ASSERT_EQ(onLinux.process.exitCode, 95) << onLinux.process.err;
  Outcome onWindows =
      runWindows({"folder", "load115", {}, {"--download", windowsPath(dir.file("folder"))}, ""});
  for (std::string* text : {&onWindows.process.out, &onWindows.process.err})
    *text = replaced(*text, windowsPath(dir.file("folder")), dir.file("folder"));
  expectSameRun(onLinux, onWindows);
  for (const std::string& device :
       std::vector<std::string>{"NUL", "nul.xml", windowsPath(dir.file("CON"))}) {
    SCOPED_TRACE(device);
    const Outcome r = runWindows({"device", "load115", {}, {"--download", device}, ""});
    EXPECT_EQ(r.process.exitCode, 95) << r.process.err;
    EXPECT_TRUE(contains(r.process.err, "not a regular file; nothing written")) << r.process.err;
    EXPECT_TRUE(r.chargerOn);
  }
  EXPECT_FALSE(fs::exists(dir.file("CON")));
}

// The next program on the port (a terminal, the charger maker's tool) finds the line as chgtune
// found it: the settings it had are put back when chgtune closes the port.
TEST_F(WineTest, LineSettingsOfThePortArePutBackAtClose) {
  SimulatedCharger charger("load115");
  // Held open here, the terminal keeps what is set on it when the program closes it (the
  // simulator makes the line raw again only when the last program has closed it).
  const int line = ::open(charger.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(line, &before), 0);
  // Rate and stop bits: what Wine reads back from a pseudo-terminal (it takes every one for 8 data
  // bits without parity), so what it can put back.
  ::cfsetispeed(&before, B9600);
  ::cfsetospeed(&before, B9600);
  before.c_cflag |= CSTOPB;
  ASSERT_EQ(::tcsetattr(line, TCSANOW, &before), 0);

  ComPort port(5, charger.path());
  const ProcessResult r = runWindowsProgram({"--serial", port.name(), "--get"}, "");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_GT(charger.sim().requestCount(), 0u);

  termios after{};
  ASSERT_EQ(::tcgetattr(line, &after), 0);
  ::close(line);
  EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));
  EXPECT_NE(after.c_cflag & CSTOPB, 0u) << "two stop bits, as before";
}

// Runs a Wine tool (regedit) in the prefix and waits for it.
void runWineTool(const std::vector<std::string>& args) {
  const ProcessResult r = runProcess(wine().loader, args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

// Ends the prefix's Wine server, so that a fresh one sets the COM ports up again from the registry,
// and starts it again with Wine's services. Those outlive the program that starts them and keep its
// standard output: started here with /dev/null, not with the pipes of a run under test, which
// would otherwise be waited on until the server ends.
void restartWine() {
  ASSERT_FALSE(wine().server.empty()) << "WINESERVER is not set";
  EXPECT_FALSE(runProcess(wine().server, {"-k"}).timedOut);
  // -w returns once the server has gone (at once when it already has).
  EXPECT_EQ(runProcess(wine().server, {"-w"}).exitCode, 0);
  const ProcessResult started = runProcess(
      "/bin/sh",
      {"-c", "\"$0\" -p </dev/null >/dev/null 2>&1 && \"$1\" wineboot </dev/null >/dev/null 2>&1",
       wine().server, wine().loader});
  EXPECT_EQ(started.exitCode, 0) << started.err;
}

// COM ports as Windows programs list them (QueryDosDeviceW). Wine builds that list when it starts,
// from the serial devices it finds and the ports named in the registry key below; a link in
// dosdevices alone opens but is not listed. The ports not named here are hidden ("" as the
// device), so that the machine's own serial devices land above the highest port used and are
// never probed. Wine still lists a hidden port, as one that does not open.
class ComPortList {
 public:
  ComPortList(const std::vector<std::pair<int, std::string>>& ports, int highest) {
    TempDir dir;
    const std::string file = dir.file("ports.reg");
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n";
    for (int number = 1; number <= highest; ++number) {
      std::string device;
      for (const auto& port : ports)
        if (port.first == number) device = port.second;
      text += "\"COM" + std::to_string(number) + "\"=\"" + device + "\"\r\n";
    }
    writeFile(file, text);
    runWineTool({"regedit", "/S", windowsPath(file)});
    restartWine();
  }
  ~ComPortList() {
    runProcess(wine().loader, {"reg", "delete", "HKLM\\Software\\Wine\\Ports", "/va", "/f"});
    restartWine();
  }
  ComPortList(const ComPortList&) = delete;
  ComPortList& operator=(const ComPortList&) = delete;
};

TEST_F(WineTest, DiscoveryProbesTheComPortsInNaturalOrder) {
  SimulatedCharger monitor("monitor");
  SimulatedCharger charger("load115");
  ComPortList ports({{7, monitor.path()}, {12, charger.path()}}, 12);

  const ProcessResult r = runWindowsProgram({"--get"}, "");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string expected;
  for (int number = 1; number <= 12; ++number) {
    expected += "Checking: COM" + std::to_string(number);
    expected += number == 7    ? " => no mppt charger, skipped\n"
                : number == 12 ? " => MPPT charger found\n"
                               : " => unable to open port\n";
  }
  EXPECT_TRUE(contains(r.out, "SunLink chgtune 1.17\n" + expected)) << r.out;
  EXPECT_TRUE(contains(r.out, "Battery Type = ")) << r.out;
  EXPECT_GT(monitor.sim().requestCount(), 0u) << "the monitor was asked for its id";
  EXPECT_TRUE(writtenValues(monitor.sim()).empty());
  EXPECT_TRUE(writtenValues(charger.sim()).empty());
}

}  // namespace
}  // namespace test
}  // namespace sunlink
