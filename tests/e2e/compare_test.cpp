// chgtune --compare FILE: a settings file against the simulated charger, equal, different, with
// settings only on one side, and each failure; nothing is ever written to the charger.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

void replaceIn(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// The charger's own settings file, as --download writes it.
std::string downloaded(SimulatedCharger& charger, const TempDir& dir) {
  ProcessResult r = charger.run({"--download", dir.file("saved.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  charger.sim().clearRecords();
  return readFile(dir.file("saved.xml"));
}

TEST(CompareTest, ListsEachDifferenceInThePrintoutsUnitsAndEndsWithItsStatus) {
  struct Case {
    const char* name;
    std::function<void(std::string&)> edit;  // applied to the downloaded file
    sim::Faults faults;                      // switched on after the download
    int status;
    std::string lines;  // what follows the retrieve banner on standard output
    const char* profile = "load115";
  };
  const std::string holds = "The charger holds every setting of \"FILE\".\n";
  const std::string doesNot = "The charger does not hold every setting of \"FILE\".\n";
  const std::string incomplete =
      "Not every setting of \"FILE\" could be read from the charger: the comparison is "
      "incomplete.\n";
  sim::Faults refuseCurrent;
  refuseCurrent.refuseGet = {0xEDF0};
  sim::Faults refuseFloat;
  refuseFloat.refuseGet = {0xEDF6};
  sim::Faults lacksCurrent;
  lacksCurrent.flagsOnGet = {{0xEDF0, FLAGS_UNKNOWN_ID}};
  const auto dropFloat = [](std::string& f) {
    replaceIn(f,
              "<vreg label=\"float_voltage\" get=\"0xEDF6\" set=\"0xEDF6\" "
              "value=\"0x0564\" status=\"ok\"/>",
              "");
  };
  const Case cases[] = {
      {"equal", [](std::string&) {}, {}, 0, holds},
      {"different",
       [](std::string& f) {
         replaceIn(f, "value=\"0x05A0\"", "value=\"0x058C\"");
         replaceIn(f, "value=\"0x0096\"", "value=\"0x00C8\"");
       },
       {},
       1,
       "maximum_current: file 20.0 A, charger 15.0 A\n"
       "absorption_voltage: file 14.20 V, charger 14.40 V\n" +
           doesNot},
      // Read in the register's width, as an upload writes it.
      {"same number in another width",
       [](std::string& f) { replaceIn(f, "value=\"0x0564\"", "value=\"0x00000564\""); },
       {},
       0,
       holds},
      {"only in the file",
       [](std::string& f) {
         replaceIn(f, "</vregs>",
                   "<vreg label=\"equalisation_voltage\" get=\"0xEDF4\" value=\"0x0654\" "
                   "status=\"ok\"/></vregs>");
       },
       {},
       1,
       "equalisation_voltage: only in the file (16.20 V)\n" + doesNot},
      {"lacked by the charger (unknown id)", [](std::string&) {}, lacksCurrent, 1,
       "maximum_current: only in the file (15.0 A)\n" + doesNot},
      // A site file that holds only some settings: the others are listed, and are no difference.
      {"only in the charger",
       dropFloat,
       {},
       0,
       "float_voltage: only in the charger (13.80 V)\n" + holds},
      {"not read, but only the charger has it", dropFloat, refuseFloat, 0,
       "float_voltage: not in the file, charger not read\n" + holds},
      {"not read from the charger", [](std::string&) {}, refuseCurrent, 94,
       "maximum_current: file 15.0 A, charger not read\n" + incomplete},
      {"not read wins over a difference",
       [](std::string& f) { replaceIn(f, "value=\"0x05A0\"", "value=\"0x058C\""); }, refuseCurrent,
       94,
       "maximum_current: file 15.0 A, charger not read\n"
       "absorption_voltage: file 14.20 V, charger 14.40 V\n" +
           incomplete},
      // An upload writes what is ok or limit_failed, never what the download skipped.
      {"status words",
       [](std::string& f) {
         replaceIn(f, "value=\"0x05A0\" status=\"ok\"", "value=\"0x058C\" status=\"limit_failed\"");
         replaceIn(f, "value=\"0x0564\" status=\"ok\"", "value=\"0x0500\" status=\"skipped\"");
       },
       {},
       1,
       "absorption_voltage: file 14.20 V, charger 14.40 V\n" + doesNot},
      {"current firmware, which lacks some settings",
       [](std::string&) {},
       {},
       0,
       holds,
       "current161"},
      // A file's label is shown, never obeyed: no retitled terminal, no forged line. (XML has no
      // ESC or BEL; it has the C1 controls and a line break written as a reference.)
      {"a label with control characters",
       [](std::string& f) {
         replaceIn(f, "</vregs>",
                   "<vreg label=\"evil\xC2\x9D"
                   "0;x\xC2\x9C&#10;absorption_voltage\" get=\"0xEDF4\" "
                   "value=\"0x0654\" status=\"ok\"/></vregs>");
       },
       {},
       1,
       "evil\\xC2\\x9D0;x\\xC2\\x9C\\nabsorption_voltage: only in the file (0x0654)\n" + doesNot},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger(c.profile);
    TempDir dir;
    std::string file = downloaded(charger, dir);
    c.edit(file);
    writeFile(dir.file("site.xml"), file);
    charger.sim().setFaults(c.faults);
    ProcessResult r = charger.run({"--compare", dir.file("site.xml")});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    std::string lines = c.lines;
    replaceIn(lines, "FILE", dir.file("site.xml"));
    const std::string banner = "=== Retrieving settings from the mppt charger ===\n";
    ASSERT_TRUE(contains(r.out, banner)) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find(banner) + banner.size()), lines);
    EXPECT_EQ(setRequestCount(charger.sim()), 0u) << "a comparison writes nothing";

    // The same differences as JSON, without the banners, with the file on standard input.
    ProcessResult j = charger.run({"--compare", "-", "--json"}, file);
    EXPECT_EQ(j.exitCode, c.status) << j.err;
    const nlohmann::json document = nlohmann::json::parse(j.out);
    char productId[8];
    std::snprintf(productId, sizeof productId, "0x%04X", charger.sim().profile().productId);
    EXPECT_EQ(document.at("charger").at("product_id"), productId);
    // Every line but the closing one is a difference.
    const std::size_t differences = document.at("differences").size();
    EXPECT_EQ(differences,
              static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')) - 1);
    EXPECT_EQ(document.contains("error"), c.status > 1) << j.out;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
}

TEST(CompareTest, DifferenceAsJsonCarriesBothSidesInTheirUnit) {
  SimulatedCharger charger("load115");
  TempDir dir;
  std::string file = downloaded(charger, dir);
  replaceIn(file, "value=\"0x05A0\"", "value=\"0x058C\"");
  writeFile(dir.file("site.xml"), file);
  ProcessResult r = charger.run({"--compare", dir.file("site.xml"), "--json"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const nlohmann::json expected = nlohmann::json::parse(R"([{"label": "absorption_voltage",
      "difference": "differs", "unit": "V", "file": {"raw": "0x058C", "value": 14.2},
      "charger": {"raw": "0x05A0", "value": 14.4}}])");
  EXPECT_EQ(nlohmann::json::parse(r.out).at("differences"), expected);
}

TEST(CompareTest, AFileThatUploadWouldRefuseEndsWithItsStatusBeforeAnyRead) {
  const struct {
    const char* name;
    const char* text;
    int status;
  } cases[] = {
      {"not XML", "this is not XML", 29},
      {"mistyped value",
       "<qmx><vregs><vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0X05A0\"/>"
       "</vregs></qmx>",
       94},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger("load115");
    TempDir dir;
    writeFile(dir.file("site.xml"), c.text);
    ProcessResult r = charger.run({"--compare", dir.file("site.xml")});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_FALSE(contains(r.out, "Retrieving settings")) << r.out;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
