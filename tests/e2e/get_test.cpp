// chgtune --get against simulated chargers: what it prints, that it writes nothing, its status.
#include <gtest/gtest.h>

#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "device/capabilities.h"
#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

std::string volts(const sim::RegisterBytes& bytes) {
  const auto raw = static_cast<std::int16_t>(bytes.at(0) | bytes.at(1) << 8);
  std::ostringstream text;
  text << std::fixed << std::setprecision(2) << raw / 100.0;
  return text.str();
}

TEST(GetTest, PrintsEachProfilesSettingsAndWritesNothing) {
  struct Case {
    const char* profile;
    const char* nameLine;  // empty: the built-in table's name for the product, then the firmware
  };
  for (const Case& c : {Case{"load115", ""}, Case{"rotary113", ""},
                        Case{"recent", "MPPT 100/50 Sim application v1.17"},
                        Case{"current161", "MPPT 100/50 Sim application v1.61"}}) {
    SCOPED_TRACE(c.profile);
    SimulatedCharger charger(c.profile);
    sim::ChargerSim& sim = charger.sim();
    ProcessResult r = charger.run({"--get"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(
                  "SunLink chgtune 1.17\n\n=== Retrieving settings from the mppt charger ===\n", 0),
              0u)
        << r.out;
    std::string name = c.nameLine;
    if (name.empty()) {
      auto product = lookupProductName(sim.profile().productId);
      ASSERT_TRUE(product.has_value());
      name = *product + " " + firmwareText(sim.profile().versionWord);
    }
    EXPECT_TRUE(contains(r.out, "===\n" + name + "\n\n")) << r.out;

    // The values come from the charger's registers, converted by the register map's scales.
    const bool userDefined = sim.registerValue(0xEDF1) == sim::RegisterBytes{0xFF};
    EXPECT_EQ(
        contains(r.out, "Battery Absorption Voltage = " + volts(sim.registerValue(0xEDF7)) + "V\n"),
        userDefined)
        << r.out;
    // A charger on a built-in table shows the table's voltages as it holds them.
    const bool builtInTable = !userDefined && sim.registerValue(REG_ROTARY_POSITION).empty();
    const std::string tableLine =
        "Battery Type = Factory Defined (abs=" + volts(sim.registerValue(0xEDF7)) +
        "V, float=" + volts(sim.registerValue(0xEDF6)) + "V";
    EXPECT_EQ(contains(r.out, tableLine), builtInTable) << r.out;
    EXPECT_TRUE(contains(r.out, "Charger Current Limit = ")) << r.out;
    // A setting the charger lacks has no line (the relay's minimum time is not 0 where it exists).
    EXPECT_EQ(contains(r.out, "Alarm relay minimum enabled = "),
              !sim.registerValue(REG_RELAY_MIN_ENABLED).empty())
        << r.out;
    EXPECT_TRUE(writtenValues(sim).empty());
    EXPECT_TRUE(sim.chargerOn());
  }
}

TEST(GetTest, RefusedIdentificationEndsWithItsStatusBeforeTheDeviceIdIsAsked) {
  {
    SimulatedCharger charger("bootloader");
    ProcessResult r = charger.run({"--get"});
    EXPECT_EQ(r.exitCode, 81);
    EXPECT_TRUE(contains(r.err, "application required to determine capabilities...")) << r.err;
    for (const HexMsg& request : charger.sim().requests())
      EXPECT_EQ(request.bytes().at(0), CMD_PING) << "only pings before the firmware is known";
  }
  {
    SimulatedCharger charger("monitor");
    ProcessResult r = charger.run({"--get"});
    EXPECT_EQ(r.exitCode, 91);
    EXPECT_TRUE(contains(r.err, "only mppt chargers are supported")) << r.err;
    EXPECT_TRUE(writtenValues(charger.sim()).empty());
  }
}

// A silent charger (3 after ten pings): FaultMatrixTest.UnansweredRequestsAreCountedAnd...

TEST(GetTest, ChargerThatStopsGivingItsDeviceIdEndsWithThree) {
  // Identified once, then the retrieve's own device-id request is refused: the run must not end
  // as a success.
  sim::Faults faults;
  faults.refuseDeviceIdAfter = 1;
  SimulatedCharger charger("load115", faults);
  ProcessResult r = charger.run({"--get"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(contains(r.err, "retrieve: deviceID failed")) << r.err;
  EXPECT_FALSE(contains(r.out, "Charger Current Limit")) << r.out;
  EXPECT_TRUE(writtenValues(charger.sim()).empty());
}

TEST(GetTest, DownloadWithGetWritesTheFileAndPrintsNoSettings) {
  SimulatedCharger charger("load115");
  TempDir dir;
  ProcessResult r = charger.run({"--download", dir.file("s.xml"), "--get"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "=== Writing settings to \"" + dir.file("s.xml") + "\" ===\n"));
  EXPECT_FALSE(contains(r.out, "Charger Current Limit"));
  EXPECT_EQ(readFile(dir.file("s.xml"))
                .rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<qmx>\n"
                       "    <vregs>\n        <vreg label=\"",
                       0),
            0u);
}

// A charger's model name that retitles and clears the terminal and forges a line of the printout,
// and a serial number in its TEXT blocks that rings and clears: shown escaped wherever they appear
// on the console, and as they are in the JSON document.
TEST(GetTest, TextsFromTheChargerAreShownEscapedNeverObeyed) {
  const std::string model = "Evil\x1B]0;owned\a\x1B[2J\nBattery Type = forged";
  const std::string shownModel = "Evil\\x1B]0;owned\\x07\\x1B[2J\\nBattery Type = forged";
  const std::string serial = "HQ\a\x1B[2J\x9B";
  const std::string shownSerial = "HQ\\x07\\x1B[2J\\x9B";
  sim::Profile profile = sim::profileByName("recent");
  profile.registers[REG_MODEL_NAME] = sim::textBytes(model);
  sim::setTextLabel(profile, "SER#", serial);
  sim::Faults sendingText;
  sendingText.textInterval = std::chrono::milliseconds(20);
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> shown;  // on standard output, or on standard error with --verbose
  } cases[] = {
      {{"--get"}, {"===\n" + shownModel + " application v1.17\n\nBattery Type = "}},
      {{"--scan"}, {": " + shownModel + ", firmware 1.17, serial " + shownSerial + "\n"}},
      {{"--scan", "--verbose"},
       {"model name \"" + shownModel + "\"\n", "(SER# = \"" + shownSerial + "\")\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    SimulatedCharger charger(profile, sendingText);
    ProcessResult r = charger.run(c.args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string& shownOn = c.args.back() == "--verbose" ? r.err : r.out;
    for (const std::string& text : c.shown) EXPECT_TRUE(contains(shownOn, text)) << shownOn;
    for (const std::string* stream : {&r.out, &r.err}) {
      EXPECT_EQ(stream->find_first_of("\x1B\a\x9B"), std::string::npos) << *stream;
      EXPECT_FALSE(contains(*stream, "\nBattery Type = forged")) << "a forged line";
    }
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
  // The document carries the texts as they are, in JSON's own escapes.
  SimulatedCharger charger(profile, sendingText);
  ProcessResult j = charger.run({"--scan", "--json"});
  EXPECT_EQ(j.exitCode, 0) << j.err;
  const nlohmann::json document = nlohmann::json::parse(j.out);
  EXPECT_EQ(document.at("chargers").at(0).at("name"), model);
}

}  // namespace
}  // namespace test
}  // namespace sunlink
