// chgtune --json: the document parsed back and checked against the registers the simulated charger
// holds; standard output carries the document alone, also when the run fails.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "device/capabilities.h"
#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

using nlohmann::json;

// Exactly one document and its line end on standard output.
json documentOf(const ProcessResult& r) {
  EXPECT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
  return json::parse(r.out);
}

const json& settingOf(const json& document, const std::string& label) {
  for (const json& setting : document.at("settings"))
    if (setting.at("label") == label) return setting;
  ADD_FAILURE() << "no setting " << label;
  static const json none;
  return none;
}

// The register's bytes as the number a user reads: little-endian, signed 16-bit where asked.
double registerNumber(const sim::RegisterBytes& bytes, double scale, bool isSigned) {
  long raw = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) raw |= static_cast<long>(bytes[i]) << (8 * i);
  if (isSigned && bytes.size() == 2) raw = static_cast<std::int16_t>(raw);
  return raw / scale;
}

TEST(JsonTest, GetWritesTheChargerAndEverySettingAsTheChargerHoldsThem) {
  struct Row {
    const char* label;
    std::uint16_t id;
    double scale;
    bool isSigned;
    const char* unit;  // nullptr: a code
  };
  const Row rows[] = {
      {"maximum_current", 0xEDF0, 10, true, "A"},
      {"absorption_time_limit", 0xEDFB, 100, true, "h"},
      {"absorption_voltage", 0xEDF7, 100, true, "V"},
      {"float_voltage", 0xEDF6, 100, true, "V"},
      {"temperature_compensation", 0xEDF2, 100, true, "mV/K"},
      {"battery_type", 0xEDF1, 1, false, nullptr},
      {"bulk_time_limit", 0xEDFC, 1, true, nullptr},  // current firmware lacks it
  };
  for (const char* profile : {"load115", "rotary113", "recent", "current161"}) {
    SCOPED_TRACE(profile);
    SimulatedCharger charger(profile);
    sim::ChargerSim& sim = charger.sim();
    ProcessResult r = charger.run({"--get", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The banners the printout path prints go to standard error.
    EXPECT_EQ(r.err.rfind("SunLink chgtune 1.17\n", 0), 0u) << r.err;
    EXPECT_TRUE(contains(r.err, "=== Retrieving settings from the mppt charger ===")) << r.err;
    const json document = documentOf(r);
    const json& identity = document.at("charger");
    char id[8];
    std::snprintf(id, sizeof id, "0x%04X", sim.profile().productId);
    EXPECT_EQ(identity.at("product_id"), id);
    EXPECT_EQ(identity.at("firmware"), firmwareVersionText(sim.profile().versionWord & 0x0FFF));
    EXPECT_EQ(identity.at("system_voltage"), 12);
    EXPECT_FALSE(identity.at("name").get<std::string>().empty());
    EXPECT_FALSE(document.contains("error"));
    for (const Row& row : rows) {
      SCOPED_TRACE(row.label);
      const json& setting = settingOf(document, row.label);
      const sim::RegisterBytes bytes = sim.registerValue(row.id);
      char reg[8];
      std::snprintf(reg, sizeof reg, "0x%04X", row.id);
      EXPECT_EQ(setting.at("register"), reg);
      if (bytes.empty()) {
        // The charger answered that it has no such register.
        EXPECT_EQ(setting.at("raw"), nullptr);
        EXPECT_EQ(setting.at("status"), "skipped");
        continue;
      }
      EXPECT_EQ(setting.at("raw"), "0x" + valueText(bytes));
      EXPECT_DOUBLE_EQ(setting.at("value").get<double>(),
                       registerNumber(bytes, row.scale, row.isSigned));
      EXPECT_EQ(setting.at("unit"), row.unit != nullptr ? json(row.unit) : json(nullptr));
      EXPECT_EQ(setting.at("status"), "ok");
    }
    EXPECT_TRUE(writtenValues(sim).empty());
  }
}

TEST(JsonTest, AFailedRunStillWritesOneDocumentWithItsErrorAndKeepsItsStatus) {
  struct Case {
    const char* profile;
    sim::Faults faults;
    std::vector<std::string> args;
    int status;
    const char* unreadLabel;  // a setting with value null, or nullptr
  };
  sim::Faults refuseCurrent;
  refuseCurrent.refuseGet = {0xEDF0};
  sim::Faults refuseAbsorption;
  refuseAbsorption.refuseSet = {0xEDF7};
  const Case cases[] = {
      {"load115", refuseCurrent, {"--get", "--json"}, 94, "maximum_current"},
      {"monitor", {}, {"--get", "--json"}, 91, nullptr},
      {"bootloader", {}, {"--get", "--json"}, 81, nullptr},
      {"load115", refuseAbsorption, {"--abs", "14.2", "--json"}, 95, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile + (" " + c.args[0]));
    SimulatedCharger charger(c.profile, c.faults);
    ProcessResult r = charger.run(c.args);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    const json document = documentOf(r);
    EXPECT_TRUE(document.at("error").is_string()) << r.out;
    if (c.unreadLabel != nullptr) {
      const json& setting = settingOf(document, c.unreadLabel);
      EXPECT_TRUE(setting.at("value").is_null());
      EXPECT_EQ(setting.at("status"), "get_failed");
    }
  }
}

TEST(JsonTest, StoreReportsTheSettingsItWrote) {
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--abs", "14.2", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const json document = documentOf(r);
  EXPECT_DOUBLE_EQ(settingOf(document, "absorption_voltage").at("value").get<double>(), 14.2);
  EXPECT_EQ(charger.sim().registerValue(0xEDF7), sim::u16(1420));
  EXPECT_TRUE(charger.sim().chargerOn());
}

// A command line that is refused, by the options library or for what it combines, still answers
// with one document: a script that asked for JSON reads every answer as JSON.
TEST(JsonTest, CombinationsWithoutAResultAreRefusedBeforeAnythingIsSent) {
  const struct {
    std::vector<std::string> args;
    const char* named;  // in the error, and in the message on standard error
  } refused[] = {
      {{"--json"}, "--json"},                     // the menu
      {{"--json", "--download", "-"}, "--json"},  // two documents on one output
      {{"--json", "--reset"}, "--json"},
      {{"--json", "--bogus"}, "--bogus"},       // unknown to the options library
      {{"--get", "--json", "--abs"}, "--abs"},  // a value missing
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args.back());
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run(c.args);
    EXPECT_EQ(r.exitCode, 255);
    const json document = documentOf(r);
    EXPECT_EQ(document.size(), 1u) << r.out;
    EXPECT_TRUE(contains(document.at("error").get<std::string>(), c.named)) << r.out;
    EXPECT_EQ(r.err.rfind("SunLink chgtune 1.17\n", 0), 0u) << "the banner, on standard error";
    EXPECT_TRUE(contains(r.err, c.named)) << r.err;
    EXPECT_EQ(charger.sim().requestCount(), 0u);
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
