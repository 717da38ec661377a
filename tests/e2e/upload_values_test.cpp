// The numbers of every setting through retrieve, download, upload, compare and the JSON document,
// and the values of a settings file that an upload fits to the charger's registers or refuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

using nlohmann::json;

std::map<std::string, json> settingsByLabel(const json& document) {
  std::map<std::string, json> settings;
  for (const json& setting : document.at("settings")) settings[setting.at("label")] = setting;
  return settings;
}

// The profile's register bytes as the charger's value text, for a register it has.
std::string registerText(const sim::Profile& profile, std::uint16_t id) {
  return valueText(profile.registers.at(id));
}

// Every profile of a charger with charge settings: a profile added later is covered too. A file
// downloaded from it and uploaded into the same charger reads the same numbers everywhere: in the
// JSON document of the retrieve and of the upload (whose table comes from the file), in the
// comparison, and on the wire.
TEST(UploadValuesTest, RoundTripOverEveryChargerProfileKeepsEveryNumber) {
  std::size_t chargers = 0;
  for (const std::string& name : sim::profileNames()) {
    const sim::Profile profile = sim::profileByName(name);
    if (profile.silent || profile.registers.count(REG_ABSORPTION_VOLTAGE) == 0) continue;
    ++chargers;
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string file = dir.file("backup.xml");
    json retrieved;
    std::string printout;
    {
      SimulatedCharger source(name);
      ProcessResult shown = source.run({"--get"});
      ASSERT_EQ(shown.exitCode, 0) << shown.err;
      printout = shown.out;
      ProcessResult get = source.run({"--get", "--json"});
      ASSERT_EQ(get.exitCode, 0) << get.err;
      retrieved = json::parse(get.out);
      ASSERT_EQ(source.run({"--download", file}).exitCode, 0);
      EXPECT_EQ(setRequestCount(source.sim()), 0u);
    }
    // The profiles are 12 V chargers: 0.01 V registers read as volts, never signed.
    EXPECT_EQ(retrieved.at("charger").at("system_voltage"), 12);
    const auto before = settingsByLabel(retrieved);
    EXPECT_DOUBLE_EQ(before.at("absorption_voltage").at("value").get<double>(),
                     std::stoi(registerText(profile, REG_ABSORPTION_VOLTAGE), nullptr, 16) / 100.0);
    EXPECT_FALSE(before.at("battery_type").at("value_name").is_null());
    // A code's name is the printout's (the load control's spans two lines of it).
    for (const auto& [label, setting] : before) {
      if (!setting.contains("value_name") || setting.at("value_name").is_null() ||
          label == "battery_voltage" || label == "load_control")
        continue;
      EXPECT_TRUE(contains(printout, " = " + setting.at("value_name").get<std::string>()))
          << label << "\n"
          << printout;
    }

    sim::Faults faults;
    faults.checkWidths = true;
    SimulatedCharger target(name, faults);
    ProcessResult upload = target.run({"--upload", file, "--json"});
    ASSERT_EQ(upload.exitCode, 0) << upload.err;
    const json uploaded = json::parse(upload.out);
    EXPECT_EQ(uploaded.at("charger").at("system_voltage"), 12) << upload.out;
    const auto after = settingsByLabel(uploaded);
    for (const auto& [label, setting] : before) {
      SCOPED_TRACE(label);
      if (setting.at("raw").is_null()) continue;
      ASSERT_EQ(after.count(label), 1u);
      for (const char* member : {"raw", "value", "value_name", "unit"}) {
        EXPECT_EQ(after.at(label).contains(member), setting.contains(member)) << member;
        if (setting.contains(member)) {
          EXPECT_EQ(after.at(label).at(member), setting.at(member));
        }
      }
    }
    // Same charger, same factory values: every write carries the value it held, in its width.
    for (const WrittenValue& w : writtenValues(target.sim())) {
      if (w.id == REG_DEVICE_MODE || w.id == REG_DEVICE_MODE_UNLOCK || w.id == REG_CLOCK) continue;
      EXPECT_EQ(w.value, registerText(profile, w.id)) << w;
    }

    ProcessResult compared = target.run({"--compare", file});
    EXPECT_EQ(compared.exitCode, 0) << compared.out << compared.err;
    EXPECT_TRUE(contains(compared.out, "The charger holds every setting of")) << compared.out;
  }
  EXPECT_GE(chargers, 8u);
}

std::string vregFile(const std::string& vregs) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<qmx><vregs>" + vregs + "</vregs></qmx>\n";
}

std::string vreg(const char* label, std::uint16_t id, const std::string& value) {
  char reg[8];
  std::snprintf(reg, sizeof reg, "0x%04X", id);
  return std::string("<vreg label=\"") + label + "\" get=\"" + reg + "\" value=\"" + value +
         "\" status=\"ok\"/>";
}

// A value is written in its register's width when its number fits; one that does not fit, is no
// code of this charger, or lies outside what the charger holds is refused before anything is
// written. The codes the printout names (a relay mode of 0xFF, a receive-port function of 3, a
// panel voltage of 0 for the built-in default, a preset battery type) are values the charger holds.
TEST(UploadValuesTest, FileValuesAreFittedToTheirRegisterOrRefused) {
  struct Case {
    const char* what;
    const char* profile;
    std::string vregs;
    int status;
    std::string message;             // on stderr; for a refusal
    std::vector<WrittenValue> sent;  // the settings written, for an accepted file
  };
  auto refused = [](const char* what, const char* profile, std::string vregs, std::string why) {
    return Case{what, profile, std::move(vregs), 94, std::move(why), {}};
  };
  auto accepted = [](const char* what, const char* profile, std::string vregs,
                     std::vector<WrittenValue> sent) {
    return Case{what, profile, std::move(vregs), 0, "", std::move(sent)};
  };
  const Case cases[] = {
      refused("a float voltage no charger holds", "load115",
              vreg("float_voltage", 0xEDF6, "0x9999"),
              "float_voltage: 0x9999 (393.21 V) is outside what this charger holds"),
      refused("24 V charge voltages in a 12 V file", "load115",
              vreg("absorption_voltage", 0xEDF7, "0x0B40") +
                  vreg("battery_voltage_setting", 0xEDEF, "0x0C"),
              "absorption_voltage: 0x0B40 (28.80 V) is outside what this charger holds"),
      refused("a value wider than its register", "load115",
              vreg("absorption_voltage", 0xEDF7, "0x000105A0"),
              "absorption_voltage: 0x000105A0 does not fit its 2-byte register"),
      refused("a relay mode without a name", "recent", vreg("relay_mode", 0xEDD9, "0x0B"),
              "relay_mode: 0x0B is not a value this charger holds (0 to 10, 255)"),
      refused("a port function for a feature the charger lacks", "recent",
              vreg("port_tx_function", 0xED9E, "0x04"),
              "port_tx_function: 0x04 is not a value this charger holds (0 to 3, 5)"),
      refused("a battery type of no table", "rotary113", vreg("battery_type", 0xEDF1, "0x09"),
              "battery_type: 0x09 is not a value this charger holds (1 to 8, 255)"),
      refused("a current above the rating", "recent", vreg("maximum_current", 0xEDF0, "0x1388"),
              "maximum_current: 0x1388 (500.0 A) is outside what this charger holds (0.1 to 50.0 "
              "A)"),
      refused("a raising compensation on current firmware", "recent",
              vreg("temperature_compensation", 0xEDF2, "0x0064"),
              "temperature_compensation: 0x0064 (1.00 mV/K) is outside what this charger holds "
              "(-30.00 to 0.00 mV/K)"),
      accepted("codes the printout names", "recent",
               vreg("relay_mode", 0xEDD9, "0xFF") + vreg("port_rx_function", 0xED98, "0x3") +
                   vreg("panel_voltage_night", 0xED9A, "0x0") +
                   vreg("battery_type", 0xEDF1, "0x03"),
               {{0xEDD9, "FF"}, {0xED98, "03"}, {0xED9A, "0000"}, {0xEDF1, "03"}}),
      accepted("values of other widths fitted to the register", "recent",
               vreg("absorption_voltage", 0xEDF7, "0x000005AA") +
                   vreg("temperature_compensation", 0xEDF2, "0xFFFFF9C0") +
                   vreg("relay_mode", 0xEDD9, "0x00000003") +
                   vreg("auto_equalise", 0xEDFD, "0x0005"),
               {{0xEDF7, "05AA"}, {0xEDF2, "F9C0"}, {0xEDD9, "03"}, {0xEDFD, "05"}}),
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir.file("values.xml");
    writeFile(file, vregFile(c.vregs));
    sim::Faults faults;
    faults.checkWidths = true;
    SimulatedCharger charger(c.profile, faults);
    ProcessResult r = charger.run({"--upload", file});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    std::vector<WrittenValue> sent;
    for (const WrittenValue& w : writtenValues(charger.sim())) {
      if (w.id != REG_DEVICE_MODE && w.id != REG_DEVICE_MODE_UNLOCK && w.id != REG_CLOCK)
        sent.push_back(w);
    }
    EXPECT_EQ(sent, c.sent);
    if (c.status != 0) {
      EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    }
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
