// The fault matrix: chgtune run against a simulated charger with one fault switched on. Each case
// checks the exit status, what reached the charger, that the charger is left on, and that the run
// ended by itself (the process helper kills a run that outlives its bound and reports it).
// The table of cases is in tests/e2e/README.md.
#include <gtest/gtest.h>

#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "support/e2e_support.h"
#include "support/sim_link.h"

namespace sunlink {
namespace test {
namespace {

bool written(const sim::ChargerSim& sim, std::uint16_t id) {
  for (const WrittenValue& w : writtenValues(sim))
    if (w.id == id) return true;
  return false;
}

TEST(FaultMatrixTest, DisturbedLinesStillGiveACleanRead) {
  struct Case {
    const char* name;
    sim::Faults faults;
    const char* errText;  // expected on standard error ("" : nothing in particular)
  };
  std::vector<Case> cases;
  {
    sim::Faults f;
    f.receptionErrors = 2;
    cases.push_back({"reception errors on the first requests", f,
                     "Reception error received! attempts left: 9"});
  }
  {
    sim::Faults f;
    f.textFlood = true;
    f.badTextEvery = 3;
    cases.push_back({"TEXT flood at line rate with damaged blocks", f, ""});
  }
  {
    sim::Faults f;
    f.garbage = "\r\nnoise\t:1\x01\xFFZZ\n";
    f.asyncBeforeReply = true;
    cases.push_back({"garbage and unasked frames before every reply", f, ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger("load115", c.faults);
    ProcessResult r = charger.run({"--get"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, c.errText)) << r.err;
    EXPECT_TRUE(contains(r.out, "Battery Type = ")) << r.out;
    EXPECT_TRUE(contains(r.out, "Charger Current Limit = ")) << r.out;
    EXPECT_TRUE(writtenValues(charger.sim()).empty());
  }
}

TEST(FaultMatrixTest, UnreadableSettingIsNeverWrittenBack) {
  struct Case {
    const char* name;
    sim::Faults faults;
  };
  sim::Faults flags, wrongId;
  flags.flagsOnGet = {{REG_ABSORPTION_VOLTAGE, FLAGS_NOT_SUPPORTED}};
  wrongId.wrongIdOnGet = {REG_ABSORPTION_VOLTAGE};
  for (const Case& c :
       {Case{"non-zero flags on the get", flags}, Case{"a reply for another register", wrongId}}) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger("load115", c.faults);
    ProcessResult r = charger.run({"--float", "13.5"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(
        contains(r.err, "retrieve: settings get vreg \"absorption_voltage\" (0xEDF7) failed"))
        << r.err;
    EXPECT_FALSE(written(charger.sim(), REG_ABSORPTION_VOLTAGE))
        << "a value never read is never written";
    EXPECT_TRUE(written(charger.sim(), REG_FLOAT_VOLTAGE));
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

// A charger that answers "unknown id" (flags 0x01) has no such setting: asked once, skipped, never
// offered, printed or written, and no failure. "Not supported" (0x02) stays a failed read.
TEST(FaultMatrixTest, SettingTheChargerLacksIsSkippedButAFailedReadStaysAFailure) {
  struct Case {
    const char* name;
    std::uint8_t flags;  // on every get of the current limit
    std::vector<std::string> args;
    std::string input;  // standard input (the menu's answers)
    int status;
    std::size_t gets;                // get requests of the current limit
    std::vector<std::string> has;    // on standard output and error together
    std::vector<std::string> lacks;  // on neither
    const char* file = nullptr;      // --download target name; its text must hold has too
  };
  const std::string limitLine = "Charger Current Limit = ";
  const std::string menuKey = "c - Modify current limit";
  const Case cases[] = {
      {"unknown id, --get",
       FLAGS_UNKNOWN_ID,
       {"--get", "-v"},
       "",
       0,
       1,
       {"INF.settings: retrieve: settings vreg \"maximum_current\" (0xEDF0) unknown to the "
        "charger, skipping"},
       {limitLine, "Settings not read", "ERR."}},
      {"not supported, --get",
       FLAGS_NOT_SUPPORTED,
       {"--get"},
       "",
       94,
       3,
       {"Settings not read from the charger: maximum_current"},
       {"unknown to the charger"}},
      {"unknown id, --json",
       FLAGS_UNKNOWN_ID,
       {"--get", "--json"},
       "",
       0,
       1,
       {"\"label\":\"maximum_current\",\"register\":\"0xEDF0\",\"raw\":null,\"value\":null,"
        "\"unit\":\"A\",\"status\":\"skipped\""},
       {"\"error\""}},
      {"unknown id, --download",
       FLAGS_UNKNOWN_ID,
       {"--download"},
       "",
       0,
       1,
       {"label=\"maximum_current\" get=\"0xEDF0\" set=\"0xEDF0\"", "status=\"skipped\""},
       {"Settings not read"},
       "s.xml"},
      // The float voltage is stored; the refused option makes the run fail.
      {"unknown id, options",
       FLAGS_UNKNOWN_ID,
       {"--current", "10", "--float", "13.5"},
       "",
       255,
       1,
       {"Unable to set charger current limit", "Options not applied: --current"},
       {limitLine}},
      {"unknown id, menu",
       FLAGS_UNKNOWN_ID,
       {},
       "c\nx\n",
       0,
       1,
       {"f - Modify float voltage"},
       {menuKey}},
      // (The menu's run ends with the store's status; nothing was stored here.)
      {"not supported, menu", FLAGS_NOT_SUPPORTED, {}, "x\n", 0, 3, {menuKey}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Faults faults;
    faults.flagsOnGet = {{0xEDF0, c.flags}};
    SimulatedCharger charger("load115", faults);
    TempDir dir;
    std::vector<std::string> args = c.args;
    if (c.file != nullptr) args.push_back(dir.file(c.file));
    ProcessResult r = charger.run(args, c.input);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    std::size_t gets = 0;
    for (const HexMsg& request : charger.sim().requests()) {
      const auto& b = request.bytes();
      if (b.size() >= 3 && b[0] == CMD_GET_REGISTER && (b[1] | b[2] << 8) == 0xEDF0) ++gets;
    }
    EXPECT_EQ(gets, c.gets);
    std::string seen = r.out + r.err;
    if (c.file != nullptr) seen += readFile(dir.file(c.file));
    for (const std::string& text : c.has) EXPECT_TRUE(contains(seen, text)) << text << "\n" << seen;
    for (const std::string& text : c.lacks)
      EXPECT_FALSE(contains(seen, text)) << text << "\n" << seen;
    EXPECT_FALSE(written(charger.sim(), 0xEDF0));
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

// Requests the charger leaves unanswered, or a line that goes away: each run ends by itself (the
// call returns), with its status and what it said, after the counted requests. Run in this process,
// so that the unanswered exchanges get short time-outs and the others the program's own: the
// exchanges that begin once quietAfter requests have gone out, until those that begin once
// quietUntil have (-1: to the end).
TEST(FaultMatrixTest, UnansweredRequestsAreCountedAndEndTheRunByThemselves) {
  constexpr int kNonZero = 1000;  // any status but 0
  constexpr std::size_t kUncounted = 0;
  // A run up to the store asks what a --get asks; the switch-off takes a ping and two writes, the
  // restore a ping; the second setting write is request getRequests + 6.
  std::size_t getRequests = 0;
  {
    SimulatedCharger counted("load115");
    ASSERT_EQ(counted.runInProcess({"--get"}).status, 0);
    getRequests = counted.sim().requestCount();
  }
  struct Case {
    const char* name;
    const char* profile;
    sim::Faults faults;
    std::vector<std::string> args;
    int quietAfter;
    int quietUntil;
    int status;
    std::vector<std::string> out;  // each on standard output
    bool banner;                   // the ERROR banner on standard error
    std::vector<std::string> err;  // each on standard error too ("PORT": the simulator's path)
    std::vector<std::string> log;  // each among the log lines shown
    std::size_t requests;          // requests that reached the charger (kUncounted: any)
    std::vector<WrittenValue> writes;
  };
  sim::Faults none, dropped, silentFromRetrieve, unplugged, unpluggedMidStore;
  dropped.dropReplies = 2;  // both to the first ping: answered at its third attempt
  // Identification of this firmware takes a ping, a device id and the device mode; the retrieve's
  // ping then goes unanswered ten times.
  silentFromRetrieve.silentAfter = 3;
  unplugged.unplugAfter = 5;
  unpluggedMidStore.unplugAfter = static_cast<int>(getRequests) + 5;
  std::vector<WrittenValue> offAndAbsorption = chargerOffWrites();
  offAndAbsorption.push_back({REG_ABSORPTION_VOLTAGE, "058C"});
  const Case cases[] = {
      {"silent charger: three after ten pings",
       "silent",
       none,
       {"--get"},
       0,
       -1,
       3,
       {},
       false,
       {},
       {"ERR.capabilities: no response received (check power / correct serial port)"},
       10,
       {}},
      {"dropped replies: a clean read",
       "load115",
       dropped,
       {"--get"},
       0,
       1,
       0,
       {"Battery Type = ", "Charger Current Limit = "},
       false,
       {},
       {},
       kUncounted,
       {}},
      {"silent from the retrieve on: the banner, nothing written",
       "load115",
       silentFromRetrieve,
       {"--abs", "14.4"},
       3,
       -1,
       -1,
       {},
       true,
       {},
       {},
       13,
       {}},
      {"port unplugged",
       "load115",
       unplugged,
       {"--get"},
       5,
       -1,
       kNonZero,
       {},
       true,
       {"write: Input/output error"},
       {},
       kUncounted,
       {}},
      // In the middle of a store: the store's report and the cause in plain words, no banner.
      {"port unplugged mid-store",
       "load115",
       unpluggedMidStore,
       {"--abs", "14.2"},  // the voltage and the battery type differ
       unpluggedMidStore.unplugAfter,
       -1,
       3,
       {},
       false,
       {"Store incomplete: settings written: ", "The serial port PORT failed during the store: "},
       {},
       kUncounted,
       offAndAbsorption},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger(c.profile, c.faults);
    InProcessOptions options;
    options.linkTaken = [&c](QmxSerial& link) {
      shortenUnansweredExchanges(link, c.quietAfter, c.quietUntil);
    };
    const InProcessResult r = charger.runInProcess(c.args, options);
    if (c.status == kNonZero) {
      EXPECT_NE(r.status, 0) << r.err;
    } else {
      EXPECT_EQ(r.status, c.status) << r.err << r.log;
    }
    for (const std::string& text : c.out) EXPECT_TRUE(contains(r.out, text)) << r.out;
    for (std::string text : c.err) {
      const std::size_t port = text.find("PORT");
      if (port != std::string::npos) text.replace(port, 4, charger.path());
      EXPECT_TRUE(contains(r.err, text)) << r.err;
    }
    for (const std::string& line : c.log) EXPECT_TRUE(contains(r.log, line + "\n")) << r.log;
    EXPECT_EQ(contains(r.err, "ERROR"), c.banner) << r.err;
    if (c.requests != kUncounted) {
      EXPECT_EQ(charger.sim().requestCount(), c.requests);
    }
    EXPECT_EQ(writtenValues(charger.sim()), c.writes);
  }
}

// Linux only: the Windows program opens a COM port unshared, which Windows refuses to a second
// opener, but Wine, under which the Windows tests run, does not (tests/wine).
TEST(FaultMatrixTest, SecondProgramOnTheSamePortIsRefusedBeforeSendingAnything) {
  SimulatedCharger charger("load115");
  QmxSerial holder(charger.path());
  ProcessResult r = charger.run({"--get"});
  EXPECT_EQ(r.exitCode, 255);
  EXPECT_EQ(r.err, "open " + charger.path() + ": Device or resource busy\n");
  EXPECT_EQ(charger.sim().requestCount(), 0u);
  holder.stop();
}

TEST(FaultMatrixTest, HugeSettingsFileIsRefusedCleanly) {
  TempDir dir;
  const std::string file = dir.file("huge.xml");
  {
    std::string vreg = "<vreg label=\"x\" get=\"0xEDF7\" value=\"0x05A0\"/>\n";
    std::string xml = "<qmx><vregs>\n";
    xml.reserve(40u << 20);
    while (xml.size() < (32u << 20)) xml += vreg;
    writeFile(file, xml);  // unterminated on purpose as well as huge
  }
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--upload", file});
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(writtenValues(charger.sim()).empty());
}

}  // namespace
}  // namespace test
}  // namespace sunlink
