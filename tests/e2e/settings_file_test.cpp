// --download and --upload against simulated chargers: the file written, the registers an upload
// writes, and the statuses of files that cannot be read or written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

std::vector<WrittenValue> withoutOnOff(std::vector<WrittenValue> writes) {
  writes.erase(std::remove_if(writes.begin(), writes.end(),
                              [](const WrittenValue& w) {
                                return w.id == REG_DEVICE_MODE || w.id == REG_DEVICE_MODE_UNLOCK;
                              }),
               writes.end());
  return writes;
}

// The attributes of every vreg element of a document, in document order.
std::vector<std::map<std::string, std::string>> vregsOf(const std::string& xml) {
  static const std::regex element("<vreg\\b([^>]*)/>");
  static const std::regex attribute("(\\w+)=\"([^\"]*)\"");
  std::vector<std::map<std::string, std::string>> vregs;
  for (auto e = std::sregex_iterator(xml.begin(), xml.end(), element); e != std::sregex_iterator();
       ++e) {
    const std::string body = (*e)[1];
    std::map<std::string, std::string> attributes;
    for (auto a = std::sregex_iterator(body.begin(), body.end(), attribute);
         a != std::sregex_iterator(); ++a)
      attributes[(*a)[1]] = (*a)[2];
    vregs.push_back(attributes);
  }
  return vregs;
}

// Whether an upload writes the vreg's value: one with a status word "ok" (a backup names one).
bool writtenValue(const std::map<std::string, std::string>& v) {
  return v.count("value") && v.count("status") && v.at("status") == "ok" && !v.count("verify") &&
         !(v.count("set") && v.at("set") == "0xFFFE");
}

std::uint16_t registerOf(const std::string& text) {
  return static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
}

// Gives every setting that an upload of the backup writes another value in the charger, of the
// same width (bit 0 of its lowest byte flipped), so that the upload has to write each one. The
// system voltage in use stays: a file of another system voltage is not this charger's. Returns
// the writes the upload must make, in the file's order: each such value to its write register,
// and the battery voltage along with a changed battery-voltage setting.
std::vector<WrittenValue> makeEverySettingDiffer(sim::ChargerSim& sim, const std::string& xml) {
  std::set<std::string> changed;
  for (const auto& v : vregsOf(xml)) {
    if (!writtenValue(v) || !v.count("get")) continue;
    const std::uint16_t get = registerOf(v.at("get"));
    sim::RegisterBytes bytes = sim.registerValue(get);
    if (get == REG_BATTERY_VOLTAGE || bytes.empty()) continue;
    bytes[0] ^= 1;
    sim.setRegisterValue(get, bytes);
    changed.insert(v.at("label"));
  }
  if (changed.count("battery_voltage_setting")) changed.insert("battery_voltage");
  std::vector<WrittenValue> writes;
  for (const auto& v : vregsOf(xml)) {
    if (!writtenValue(v) || !changed.count(v.at("label"))) continue;
    const std::string set = v.count("set") ? v.at("set") : v.at("get");
    writes.push_back({registerOf(set), v.at("value").substr(2)});
  }
  return writes;
}

// On firmware up to 1.11 the file also holds values the download did not read (placeholders with
// the status unknown); uploading such a backup used to write the battery-voltage setting as 00
// (detect at power-up) on 1.10 and to fail with 95 on 1.07.
TEST(SettingsFileTest, DownloadThenUploadWritesBackWhatWasRead) {
  for (const char* profile :
       {"load115", "rotary113", "recent", "rotary110", "load107", "current161"}) {
    SCOPED_TRACE(profile);
    TempDir dir;
    const std::string file = dir.file("settings.xml");
    {
      SimulatedCharger source(profile);
      ProcessResult r = source.run({"--download", file});
      ASSERT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(writtenValues(source.sim()).empty());
    }
    const std::string xml = readFile(file);
    EXPECT_TRUE(contains(xml, "status=\"ok\"")) << xml;

    // Uploaded into the charger it came from, the file writes nothing: not even the switching.
    {
      SimulatedCharger same(profile);
      ProcessResult r = same.run({"--upload", file});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(contains(r.out, "nothing was written")) << r.out;
      EXPECT_EQ(setRequestCount(same.sim()), 0u);
    }

    // Into a charger whose every setting differs, it writes every one, in its width and order.
    sim::Faults faults;
    faults.checkWidths = true;
    SimulatedCharger target(profile, faults);
    const std::vector<WrittenValue> expected = makeEverySettingDiffer(target.sim(), xml);
    EXPECT_FALSE(expected.empty());
    ProcessResult r = target.run({"--upload", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "=== Reading settings from \"" + file + "\" ===\n"));
    const auto all = writtenValues(target.sim());
    ASSERT_GE(all.size(), 4u);
    const auto off = chargerOffWrites();
    const auto on = chargerOnWrites();
    EXPECT_TRUE(std::equal(off.begin(), off.end(), all.begin()));
    EXPECT_TRUE(std::equal(on.begin(), on.end(), all.end() - 2));
    auto writes = withoutOnOff(all);
    // A charger whose lighting timer is on gets its clock set at the end of the store.
    if (!writes.empty() && writes.back().id == REG_CLOCK) writes.pop_back();
    EXPECT_EQ(writes, expected);
    for (const WrittenValue& w : writes) {
      // Same charger model, same factory values: every value goes back as it was read.
      EXPECT_EQ(w.value, valueText(sim::profileByName(profile).registers.at(w.id))) << w;
    }
    EXPECT_TRUE(target.sim().chargerOn());

    // "-" reads the file from standard input: the same writes.
    SimulatedCharger piped(profile, faults);
    makeEverySettingDiffer(piped.sim(), xml);
    ProcessResult fromInput = piped.run({"--upload", "-"}, xml);
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_TRUE(contains(fromInput.out, "=== Reading settings from \"-\" ===\n"));
    EXPECT_EQ(writtenValues(piped.sim()), all);
  }
}

std::string vregList(const std::string& vregs) { return "<qmx><vregs>" + vregs + "</vregs></qmx>"; }
std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

std::string utcDayNow() {
  const std::time_t now = std::time(nullptr);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", std::gmtime(&now));
  return day;
}

// Every document an upload cannot trust ends before the charger is touched: not even switched off.
// Documents without a vreg list, and mistyped ids and values, used to end with 0 after switching
// the charger off and on, or to write what they became (register 0x0000, a byte 00, one huge
// frame).
// Nothing is written from a file that cannot be loaded, or that would write a register that is not
// this charger's setting of that name.
TEST(SettingsFileTest, UnreadableOrHarmfulFilesEndBeforeAnythingIsWritten) {
  const std::string good = "<vreg label=\"float_voltage\" get=\"0xEDF6\" value=\"0x0564\"/>";
  auto absorption = [](const std::string& attributes) {
    return "<vreg label=\"absorption_voltage\" " + attributes + "/>";
  };
  struct Case {
    const char* what;
    std::string content;
    int status;
    std::string named;  // in the error output
  };
  TempDir dir;
  for (const Case& c : {
           Case{"not xml", "this is not a settings file\n", 29, "in.xml"},
           Case{"truncated", "<?xml version=\"1.0\"?>\n<qmx><vregs><vreg label=\"a\" get=", 29,
                "in.xml"},
           Case{"vreg without attributes", vregList("<vreg/>"), 94, "No such node"},
           Case{"duplicate label", vregList(absorption("value=\"0x05A0\"") + absorption("")), 94,
                "vreg \"absorption_voltage\" already present"},
           Case{"other root", "<?xml version=\"1.0\"?>\n<other><thing/></other>\n", 94,
                "no vreg list"},
           Case{"qmx without vregs", "<qmx><vreg label=\"a\" value=\"0x01\"/></qmx>", 94,
                "no vreg list"},
           Case{"empty list", vregList(""), 94, "the vreg list is empty"},
           Case{"svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect/></svg>", 94,
                "no vreg list"},
           Case{"letter O", vregList(good + absorption("get=\"OxEDF7\" value=\"0x05A0\"")), 94,
                "vreg \"absorption_voltage\": get \"OxEDF7\" is not a register id"},
           Case{"blank", vregList(good + absorption("get=\" 0xEDF7\" value=\"0x05A0\"")), 94,
                "get \" 0xEDF7\" is not"},
           Case{"capital X", vregList(good + absorption("set=\"0XEDF7\" value=\"0x05A0\"")), 94,
                "set \"0XEDF7\" is not"},
           Case{"decimal id past 16 bits",
                vregList(good + absorption("verify=\"65536\" value=\"0x05A0\"")), 94,
                "verify \"65536\" is not"},
           Case{"five-digit id", vregList(good + absorption("get=\"0x1EDF7\" value=\"0x05A0\"")),
                94, "get \"0x1EDF7\" is not"},
           Case{"negative", vregList(good + absorption("get=\"0xEDF7\" value=\"-5\"")), 94,
                "value \"-5\" is not a value"},
           Case{"plus sign", vregList(good + absorption("get=\"0xEDF7\" value=\"+1440\"")), 94,
                "vreg \"absorption_voltage\": value \"+1440\" is not a value"},
           Case{"blank in value", vregList(good + absorption("get=\"0xEDF7\" value=\"1440 \"")), 94,
                "value \"1440 \" is not"},
           Case{"empty value", vregList(good + absorption("get=\"0xEDF7\" value=\"\"")), 94,
                "value \"\" is not"},
           Case{"capital X value", vregList(good + absorption("get=\"0xEDF7\" value=\"0X05A0\"")),
                94, "value \"0X05A0\" is not"},
           Case{"decimal past 32 bits",
                vregList(good + absorption("get=\"0xEDF7\" value=\"4294967296\"")), 94,
                "value \"4294967296\" is not"},
           Case{"nine hex digits",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x0000005A0\"")), 94,
                "value \"0x0000005A0\" is not"},
           // Not well-formed XML, or nested past what any settings file needs.
           Case{"duplicate attribute",
                vregList(absorption("get=\"0xEDF7\" value=\"0x05A0\" value=\"0x0400\"")), 29,
                "in.xml(1): duplicate attribute"},
           Case{"duplicate status",
                vregList(good + "\n" + absorption("status=\"get_failed\" status=\"ok\"")), 29,
                "in.xml(2): duplicate attribute"},
           Case{"bad name", vregList(good + "<1vreg label=\"a\"/>"), 29,
                "in.xml(1): not well-formed"},
           Case{"second root", vregList(good) + "\n" + vregList(good), 29,
                "in.xml(2): junk after document element"},
           Case{"control character", vregList(good + "<vreg label=\"a\x1B\" get=\"0xEDF7\"/>"), 29,
                "in.xml(1): not well-formed"},
           Case{"unclosed", "<qmx><vregs>" + good, 29, "in.xml(1): no element found"},
           Case{"no root", "<?xml version=\"1.0\"?>\n<!-- vregs -->\n", 29,
                "in.xml(3): no element found"},
           Case{"empty", "", 29, "in.xml(1): no element found"},
           Case{"entity declaration",
                "<!DOCTYPE qmx [<!ENTITY v \"0x05A0\">]>" + vregList(absorption("value=\"&v;\"")),
                29, "in.xml(1): a document type declaration is not accepted"},
           Case{"nested past the limit", vregList(good + nested(63)), 29,
                "in.xml(1): elements nested deeper than 64 levels"},
           // The old hand-written depth check missed the nesting after a stray quote; its reader
           // then crashed.
           Case{"stray quote", "<qmx\"><vregs>" + nested(50000) + "</vregs></qmx>", 29,
                "in.xml(1): not well-formed"},
           Case{"400 KB value",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x" +
                                           std::string(400 * 1024, 'A') + "\"")),
                94, "(409602 characters) is not a value"},
           Case{"empty max",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x05A0\" max=\"\"")), 94,
                "max \"\" is not"},
           Case{"status word", vregList(good + absorption("value=\"0x05A0\" status=\"fine\"")), 94,
                "status \"fine\" is not a status word"},
           Case{"no label", vregList(good + "<vreg get=\"0xEDF7\" value=\"0x5A0\" set=\"0x\"/>"),
                94, "vreg number 2: set \"0x\" is not"},
           // Well formed, but it would write what is not this charger's setting of that name.
           Case{"factory reset register",
                vregList(good + absorption("get=\"0x0004\" value=\"0x0000\"")), 94,
                "absorption_voltage: written to register 0x0004, but this charger's is 0xEDF7\n"},
           Case{"another setting's register",
                vregList(good + absorption("get=\"0xEDF7\" set=\"0xEDF6\" value=\"0x05A0\"")), 94,
                "absorption_voltage: written to register 0xEDF6"},
           Case{"not a setting of this charger",
                vregList(good + "<vreg label=\"relay_mode\" get=\"0xEDD9\" value=\"0x03\"/>"), 94,
                "relay_mode: not a setting of this charger"},
           Case{"no register", vregList("<vreg label=\"float_voltage\" value=\"0x0564\"/>"), 94,
                "float_voltage: names no register to write"},
           Case{"identity without a product id",
                "<qmx><vregs>" + good + "</vregs><identity system_voltage=\"12\"/></qmx>", 94,
                "identity: product_id \"\" is not a product id"},
           Case{"identity with a mistyped system voltage",
                "<qmx><vregs>" + good +
                    "</vregs><identity product_id=\"0xA042\" system_voltage=\"12V\"/></qmx>",
                94, "identity: system_voltage \"12V\" is not a system voltage"},
       }) {
    SCOPED_TRACE(c.what);
    const std::string file = dir.file("in.xml");
    writeFile(file, c.content);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", file});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_TRUE(contains(r.err, c.named)) << r.err;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    EXPECT_TRUE(charger.sim().chargerOn());
  }
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--upload", dir.file("missing.xml")});
  EXPECT_EQ(r.exitCode, 29);
}

// A settings file as --download writes it from a charger of this profile.
std::string backupOf(const std::string& profile, const TempDir& dir) {
  SimulatedCharger source(profile);
  const std::string file = dir.file(profile + ".xml");
  const ProcessResult r = source.run({"--download", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return readFile(file);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// An upload reads the charger's settings first and judges the file against that charger before
// it writes anything. A 24 V backup used to switch a 12 V charger to 24 V, a backup of another
// model to write what it could and fail the rest, and a setting the charger answered "unknown id"
// for to be written all the same.
TEST(SettingsFileTest, UploadIsJudgedAgainstTheChargerBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string load115 = backupOf("load115", dir);
  const std::string rotary113 = backupOf("rotary113", dir);
  const std::string rotary110 = backupOf("rotary110", dir);
  const std::string bulk = "<vreg label=\"bulk_time_limit\" get=\"0xEDFC\" value=\"0x03E8\"/>";
  const std::string floatVoltage =
      "<vreg label=\"float_voltage\" get=\"0xEDF6\" value=\"0x0550\"/>";
  const char* noProduct = "its product is not checked";
  struct Case {
    const char* what;
    const char* charger;
    std::string file;
    std::vector<std::string> options;
    int status;
    std::vector<std::string> err;            // each on standard error
    std::set<std::uint16_t> untouched = {};  // registers the upload must not write
    std::set<std::uint16_t> written = {};    // registers it must write
    sim::Faults faults = {};
  };
  sim::Faults unreadableCurrent;
  unreadableCurrent.refuseGet = {REG_MAXIMUM_CURRENT};
  sim::Faults noDeviceId;  // identified, then the retrieve's device-id request is refused
  noDeviceId.refuseDeviceIdAfter = 1;
  for (const Case& c : {
           Case{"24 V backup on a 12 V charger",
                "load115",
                replaced(load115, "system_voltage=\"12\"", "system_voltage=\"24\""),
                {},
                94,
                {"system voltage: the file is for a 24 V system, this charger's is 12 V\n"
                 "Upload refused: nothing was written to the charger."}},
           Case{"24 V values in a file of an earlier version",
                "load115",
                vregList("<vreg label=\"battery_voltage\" get=\"0xEDEF\" value=\"0x18\"/>"
                         "<vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x0B40\"/>"),
                {},
                94,
                {noProduct, "the file is for a 24 V system, this charger's is 12 V"}},
           Case{"backup of another model",
                "load115",
                rotary113,
                {},
                94,
                {"product: the file comes from product 0xA040 (MPPT 75/50), this charger is 0xA042 "
                 "(MPPT 75/15); --force uploads it"}},
           Case{"backup of another model, forced",
                "load115",
                // within this model's 15 A rating, which a backup's 30 A is not
                replaced(rotary113, "value=\"0x012C\"", "value=\"0x0064\""),
                {"--force"},
                0,
                {"As --force asks, the file comes from product 0xA040"}},
           Case{"a setting this charger does not have",
                "rotary113",
                rotary110,
                {},
                94,
                {"cellguard_mode: not a setting of this charger; --force skips it"}},
           Case{"a setting this charger does not have, forced",
                "rotary113",
                rotary110,
                {"--force"},
                0,
                {"cellguard_mode: skipped, not a setting of this charger"},
                {0xEDFF}},
           Case{"a setting the charger answered unknown id for",
                "current161",
                vregList(floatVoltage + bulk),
                {},
                94,
                {"bulk_time_limit: this charger does not have it (it answered \"unknown id\"); "
                 "--force skips it"}},
           Case{"a setting the charger answered unknown id for, forced",
                "current161",
                vregList(floatVoltage + bulk),
                {"--force"},
                0,
                {"bulk_time_limit: skipped, this charger does not have it"},
                {REG_BULK_TIME_LIMIT},
                {REG_FLOAT_VOLTAGE}},
           Case{"a setting whose read fails is written from the file, and named",
                "load115",
                vregList(floatVoltage +
                         "<vreg label=\"maximum_current\" get=\"0xEDF0\" value=\"0x0064\"/>"),
                {},
                0,
                {"Settings not read from the charger: maximum_current"},
                {},
                {REG_FLOAT_VOLTAGE, REG_MAXIMUM_CURRENT},
                unreadableCurrent},
           Case{"firmware 1.13 backup on firmware 1.10: its battery voltage rows",
                "rotary110",
                rotary113,
                {},
                0,
                {"battery_voltage: skipped, this charger's firmware cannot write it"},
                {REG_BATTERY_VOLTAGE_SETTING}},
           Case{"a charger that stops answering the retrieve",
                "load115",
                vregList(floatVoltage),
                {},
                3,
                {"retrieve: deviceID failed"},
                {},
                {},
                noDeviceId},
           Case{"placeholders are never written, whatever they name",
                "load115",
                vregList(floatVoltage +
                         "<vreg label=\"reset\" get=\"0x0004\" value=\"0x0000\" "
                         "status=\"get_failed\"/>"
                         "<vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x0000\" "
                         "status=\"skipped\"/>"),
                {},
                0,
                {noProduct},
                {REG_ABSORPTION_VOLTAGE, 0x0004},
                {REG_FLOAT_VOLTAGE}},
           Case{"a file of an earlier version without any voltage",
                "load115",
                vregList("<vreg label=\"maximum_current\" get=\"0xEDF0\" value=\"0x0064\"/>"),
                {},
                0,
                {noProduct,
                 "The file holds no battery voltage, absorption or float voltage: its system "
                 "voltage is not checked."}},
       }) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("up.xml"), c.file);
    SimulatedCharger charger(c.charger, c.faults);
    std::vector<std::string> args = {"--upload", dir.file("up.xml")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProcessResult r = charger.run(args);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    for (const std::string& text : c.err) EXPECT_TRUE(contains(r.err, text)) << text << r.err;
    // The file first, then the charger's settings, then (only when both agree) the store.
    const std::size_t reading = r.out.find("=== Reading settings from");
    const std::size_t retrieving = r.out.find("=== Retrieving settings from the mppt charger ===");
    EXPECT_LT(reading, retrieving) << r.out;
    EXPECT_NE(retrieving, std::string::npos) << r.out;
    EXPECT_EQ(contains(r.out, "=== Storing settings"), c.status == 0) << r.out;
    if (c.status != 0) {
      EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    }
    std::set<std::uint16_t> written;
    for (const WrittenValue& w : writtenValues(charger.sim())) {
      written.insert(w.id);
      EXPECT_EQ(c.untouched.count(w.id), 0u) << w;
      // Only the charger's own settings, in their own widths.
      EXPECT_EQ(charger.sim().profile().registers.count(w.id), 1u) << w;
    }
    for (std::uint16_t id : c.written) EXPECT_EQ(written.count(id), 1u) << id;
    EXPECT_EQ(charger.sim().factoryResets(), 0);
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

// --download records the charger the file came from; its texts are stored escaped, so that the
// file stays well-formed XML, and an upload into that charger reads the file back.
TEST(SettingsFileTest, DownloadRecordsTheChargerItCameFrom) {
  sim::Profile planted = sim::profileByName("current161");
  // Control characters, a byte that is not UTF-8 and U+FFFE, which XML does not allow.
  planted.registers[REG_MODEL_NAME] = sim::textBytes("Evil\x1B[2J\nmodel\xFF\xEF\xBF\xBE\xC3\xA9");
  sim::setTextLabel(planted, "SER#",
                    "HQ\a\xC2\x9B"
                    "1");
  struct Case {
    const char* what;
    sim::Profile profile;
    std::string identity;  // up to the day
  };
  for (const Case& c : {
           Case{"texts with control characters, a serial number from the TEXT blocks", planted,
                "<identity product_id=\"0xA07C\" "
                "model=\"Evil\\x1B[2J\\x0Amodel\\xFF\\xEF\\xBF\\xBE\xC3\xA9\" "
                "firmware=\"1.61\" system_voltage=\"12\" serial=\"HQ\\x07\\xC2\\x9B1\" day=\""},
           Case{"no TEXT blocks: no serial number", sim::profileByName("load115"),
                "<identity product_id=\"0xA042\" model=\"MPPT 75/15\" firmware=\"1.15\" "
                "system_voltage=\"12\" day=\""},
       }) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir.file("s.xml");
    SimulatedCharger charger(c.profile);
    const std::string before = utcDayNow();
    const ProcessResult r = charger.run({"--download", file});
    const std::string after = utcDayNow();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string xml = readFile(file);
    const std::string tail = "\" chgtune=\"1.17\"/>\n</qmx>\n";
    EXPECT_TRUE(contains(xml, "</vregs>\n    " + c.identity + before + tail) ||
                contains(xml, "</vregs>\n    " + c.identity + after + tail))
        << xml;
    const ProcessResult back = charger.run({"--upload", file});
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_FALSE(contains(back.err, "not checked")) << back.err;
    EXPECT_EQ(charger.sim().factoryResets(), 0);
  }
}

// Hand-written files hold values in decimal and hex digits in lower case, as the file format has
// always allowed; each form is written as the charger holds it (decimal values used to be refused).
TEST(SettingsFileTest, HandWrittenFormsAreWrittenAsTheChargerHoldsThem) {
  const char* const forms[] = {
      "get=\"0xEDF7\" value=\"0x058C\"",  // as --download writes it
      "get=\"0xEDF7\" value=\"1420\"",   "get=\"0xEDF7\" value=\"0x058c\"",
      "get=\"60919\" value=\"0x058C\"",  "get=\"0xedf7\" set=\"0xEdF7\" value=\"0x058C\"",
  };
  TempDir dir;
  for (const char* form : forms) {
    SCOPED_TRACE(form);
    writeFile(dir.file("hand.xml"),
              vregList(std::string("<vreg label=\"absorption_voltage\" ") + form + "/>"));
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", dir.file("hand.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto writes = withoutOnOff(writtenValues(charger.sim()));
    if (!writes.empty() && writes.back().id == REG_CLOCK) writes.pop_back();
    EXPECT_EQ(writes, (std::vector<WrittenValue>{{0xEDF7, "058C"}}));
  }
}

TEST(SettingsFileTest, VerifyRegisterIsComparedInsteadOfWritten) {
  struct Case {
    const char* value;
    std::uint16_t verify;
    int status;
  };
  TempDir dir;
  // 0xEDF7 holds 14.40 V (05A0) on this profile.
  for (const Case& c :
       {Case{"0x05A0", 0xEDF7, 0}, Case{"0x05A1", 0xEDF7, 95}, Case{"0x05a0", 0xEDF7, 0},
        Case{"1440", 0xEDF7, 0}, Case{"0x05A0", 0x1234, 95}}) {
    SCOPED_TRACE(c.value);
    char xml[256];
    std::snprintf(xml, sizeof xml,
                  "<qmx><vregs><vreg label=\"checked\" get=\"0xEDF7\" verify=\"0x%04X\" "
                  "value=\"%s\"/></vregs></qmx>",
                  c.verify, c.value);
    writeFile(dir.file("v.xml"), xml);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", dir.file("v.xml")});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_TRUE(withoutOnOff(writtenValues(charger.sim())).empty());
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

TEST(SettingsFileTest, UnwritableTargetLeavesAnExistingFileAlone) {
  if (geteuid() == 0) {
    // Root writes through folder permissions; use a target whose folder does not exist instead.
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--download", "/nonexistent-folder/settings.xml"});
    EXPECT_EQ(r.exitCode, 95);
    EXPECT_TRUE(contains(r.err, "Writing settings failed")) << r.err;
    return;
  }
  TempDir dir;
  writeFile(dir.file("keep.xml"), "earlier settings\n");
  chmod(dir.path().c_str(), 0555);
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--download", dir.file("keep.xml")});
  EXPECT_EQ(r.exitCode, 95);
  EXPECT_EQ(readFile(dir.file("keep.xml")), "earlier settings\n");
}

TEST(SettingsFileTest, DownloadReplacesAnEarlierFileWhole) {
  TempDir dir;
  writeFile(dir.file("s.xml"), std::string(100000, 'x'));
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--download", dir.file("s.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string xml = readFile(dir.file("s.xml"));
  EXPECT_EQ(xml.find('x' + std::string(10, 'x')), std::string::npos);
  EXPECT_EQ(xml.substr(xml.size() - 7), "</qmx>\n");
}

bool isDocument(const std::string& file) {
  const std::string xml = readFile(file);
  return xml.rfind("<?xml", 0) == 0 && contains(xml, "value=\"0x05A0\"") && contains(xml, "</qmx>");
}

// The folder's content, one sorted line per entry: links with their target, folders and regular
// files with their mode, owner and group where they are not the runner's (the test's own by
// default), and what a file holds.
std::string listing(const std::string& folder, uid_t ownUid = ::geteuid(),
                    gid_t ownGid = ::getegid()) {
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string();
    std::string line = path.substr(folder.size() + 1);
    struct stat st {};
    ::lstat(path.c_str(), &st);
    char mode[16];
    std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(st.st_mode & 07777));
    if (S_ISLNK(st.st_mode)) line += " -> " + std::filesystem::read_symlink(path).string();
    if (S_ISDIR(st.st_mode)) line += "/" + std::string(mode);
    if (S_ISFIFO(st.st_mode)) line += " fifo";
    if (S_ISCHR(st.st_mode)) line += " character device";
    if (S_ISREG(st.st_mode)) line += mode + (isDocument(path) ? " document" : " " + readFile(path));
    if (!S_ISLNK(st.st_mode) && (st.st_uid != ownUid || st.st_gid != ownGid))
      line += " owner " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
    lines.push_back(line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// Who runs chgtune in a case of DownloadTargets, and how.
enum Who {
  kAnyUser,    // the test's own user
  kRoot,       // root: only root can set the case up
  kSizeLimit,  // the test's own user under a file-size limit
  // A user who is not root, as whom the shell's `>` cannot write every file: the test's own user,
  // or under root an unused uid (kUid) through setpriv, given the folder and the charger's port.
  kUser,
  kUserAmongOthers,  // kUser, with another user's file (kOtherUid), which only root can give
};
constexpr uid_t kUid = 64000;
constexpr uid_t kOtherUid = 64001;
const char kSetpriv[] = "/usr/bin/setpriv";

struct Runner {
  uid_t uid;
  gid_t gid;
  bool setpriv;
};

Runner runnerFor(Who who) {
  const bool asUser = who == kUser || who == kUserAmongOthers;
  if (asUser && ::geteuid() == 0) return {kUid, kUid, true};
  return {::geteuid(), ::getegid(), false};
}

// Why the case cannot run here, or "" when it can.
std::string whyNotRun(Who who) {
  const bool root = ::geteuid() == 0;
  if ((who == kRoot || who == kUserAmongOthers) && !root) return "cases that need root";
  if ((who == kUser || who == kUserAmongOthers) && root && ::access(kSetpriv, X_OK) != 0)
    return std::string("cases run as another user under root (no ") + kSetpriv + ")";
  return "";
}

ProcessResult downloadAs(Who who, const Runner& runner, SimulatedCharger& charger,
                         const std::string& target) {
  // Under a file-size limit the write fails part-way; with the signal ignored, write reports it.
  if (who == kSizeLimit)
    return runProcess("/bin/sh",
                      {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", CHGTUNE_BINARY,
                       "--serial", charger.path(), "--download", target});
  if (!runner.setpriv) return charger.run({"--download", target});
  EXPECT_EQ(::chown(charger.path().c_str(), runner.uid, runner.gid), 0);
  return runProcess(kSetpriv, {"--reuid=" + std::to_string(runner.uid),
                               "--regid=" + std::to_string(runner.gid), "--clear-groups",
                               CHGTUNE_BINARY, "--serial", charger.path(), "--download", target});
}

// What --download makes of its target, and that nothing is left behind. Before, a device node or
// FIFO was replaced by a regular file, a link by a file of its own, another user's file became
// root's, a 249-character name failed with 95; a write-protected file, and another user's file in
// a folder such as /tmp, were replaced where the shell's `>` could not have written them. Setup
// commands name the runner's uid and gid as $U and $G, the other user's as $O.
TEST(SettingsFileTest, DownloadTargets) {
  const mode_t umask = ::umask(0);
  ::umask(umask);
  char newFile[16];
  std::snprintf(newFile, sizeof newFile, "%04o", 0666 & ~umask);
  const std::string longName(249, 'n');
  struct Case {
    Who who;
    std::string setup;  // shell commands in the folder
    std::string target;
    int status;
    std::string after;         // listing of the folder
    std::string refusal = "";  // the reason stderr gives after the file's name
  };
  const std::string root = " owner 0:0";  // the folder's owner in the shared-folder cases
  const Case cases[] = {
      {kAnyUser, "printf old > real.xml; chmod 640 real.xml; ln -s real.xml link.xml", "link.xml",
       0, "link.xml -> real.xml\nreal.xml 0640 document\n"},
      {kRoot, "mknod null c 1 3", "null", 95, "null character device\n"},
      {kAnyUser, "mkfifo fifo", "fifo", 95, "fifo fifo\n"},
      {kAnyUser, "mkdir -m 755 f; printf kept > f/k; chmod 644 f/k", "f", 95,
       "f/ 0755\nf/k 0644 kept\n"},
      {kRoot, "printf old > o.xml; chown 4321:4322 o.xml; chmod 604 o.xml", "o.xml", 0,
       "o.xml 0604 document owner 4321:4322\n"},
      {kAnyUser, "", longName, 0, longName + " " + newFile + " document\n"},
      {kSizeLimit, "printf old > s.xml; chmod 644 s.xml", "s.xml", 95, "s.xml 0644 old\n"},
      // Planted by another user in a folder such as /tmp: not followed.
      {kRoot, "printf x > v; chmod 644 v; mkdir -m 1777 t; ln -s ../v t/l; chown -h 4321 t/l",
       "t/l", 95, "t/ 1777\nt/l -> ../v\nv 0644 x\n"},
      // Write-protected: `>` refuses it to a user, and root's `>` writes it.
      {kUser, "printf old > p.xml; chown $U:$G p.xml; chmod 444 p.xml", "p.xml", 95,
       "p.xml 0444 old\n", "the file is write-protected"},
      {kUser, "printf old > w.xml; chown $U:$G w.xml; chmod 640 w.xml", "w.xml", 0,
       "w.xml 0640 document\n"},
      {kRoot, "printf old > r.xml; chmod 444 r.xml", "r.xml", 0, "r.xml 0444 document\n"},
      // Another user's file in a shared folder, writable by all: refused to root too.
      {kUserAmongOthers,
       "mkdir -m 1777 t; printf old > t/o.xml; chown $O:$O t/o.xml; chmod 666 t/o.xml", "t/o.xml",
       95, "t/ 1777" + root + "\nt/o.xml 0666 old owner 64001:64001\n",
       "another user's file in a shared folder"},
      {kUserAmongOthers,
       "mkdir -m 1777 t; printf old > t/m.xml; chown $U:$G t/m.xml; chmod 644 t/m.xml", "t/m.xml",
       0, "t/ 1777" + root + "\nt/m.xml 0644 document\n"},
      {kRoot, "mkdir -m 1777 t; printf old > t/o.xml; chown 4321:4322 t/o.xml; chmod 666 t/o.xml",
       "t/o.xml", 95, "t/ 1777\nt/o.xml 0666 old owner 4321:4322\n",
       "another user's file in a shared folder"},
  };
  std::set<std::string> notRun;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup.empty() ? c.target : c.setup);
    if (!whyNotRun(c.who).empty()) {
      notRun.insert(whyNotRun(c.who));
      continue;
    }
    const Runner runner = runnerFor(c.who);
    TempDir dir;
    ASSERT_EQ(::chown(dir.path().c_str(), runner.uid, runner.gid), 0);
    ASSERT_EQ(runProcess("/bin/sh", {"-c", "cd \"$0\" || exit 1; U=$1 G=$2 O=$3; " + c.setup,
                                     dir.path(), std::to_string(runner.uid),
                                     std::to_string(runner.gid), std::to_string(kOtherUid)})
                  .exitCode,
              0);
    const std::string target = dir.file(c.target);
    SimulatedCharger charger("load115");
    const ProcessResult r = downloadAs(c.who, runner, charger, target);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_EQ(contains(r.err, "Writing settings failed"), c.status != 0) << r.err;
    if (!c.refusal.empty()) {
      EXPECT_TRUE(contains(r.err, "\"" + target + "\": " + c.refusal)) << r.err;
    }
    EXPECT_EQ(listing(dir.path(), runner.uid, runner.gid), c.after);
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
  std::string skipped;
  for (const std::string& reason : notRun) skipped += (skipped.empty() ? "" : "; ") + reason;
  if (!skipped.empty()) GTEST_SKIP() << "not run here: " << skipped;
}

// A backup that lacks settings is still written, but must not look like a whole one to a script.
TEST(SettingsFileTest, SettingsThatCouldNotBeReadEndWith94) {
  TempDir dir;
  const std::string file = dir.file("s.xml");
  sim::Faults faults;
  faults.refuseGet = {0xEDF0};
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--download", file}, std::vector<std::string>{"--get"}}) {
    SCOPED_TRACE(args[0]);
    SimulatedCharger charger("load115", faults);
    ProcessResult r = charger.run(args);
    EXPECT_EQ(r.exitCode, 94) << r.err;
    const std::string named = args[0] == "--get" ? "" : ", missing from \"" + file + "\"";
    EXPECT_TRUE(
        contains(r.err, "Settings not read from the charger" + named + ": maximum_current\n"))
        << r.err;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    if (args[0] == "--get") {
      EXPECT_TRUE(contains(r.out, "Battery Type = ")) << r.out;
    }
  }
  EXPECT_TRUE(contains(readFile(file),
                       "<vreg label=\"maximum_current\" get=\"0xEDF0\" set=\"0xEDF0\" "
                       "status=\"get_failed\"/>"));
  EXPECT_TRUE(isDocument(file));
}

// "-" used to create a file named "-"; now standard output carries the document alone.
TEST(SettingsFileTest, DownloadToStandardOutputGivesALoadableDocument) {
  TempDir dir;
  std::string document;
  {
    SimulatedCharger source("rotary113");
    ProcessResult r = source.run({"--download", "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.rfind("SunLink chgtune 1.17\n", 0), 0u) << r.err;
    EXPECT_TRUE(contains(r.err, "=== Writing settings to \"-\" ===")) << r.err;
    document = r.out;
  }
  EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<qmx>\n", 0), 0u);
  writeFile(dir.file("backup.xml"), document);
  SimulatedCharger target("rotary113");
  const std::vector<WrittenValue> expected = makeEverySettingDiffer(target.sim(), document);
  ASSERT_FALSE(expected.empty());
  ProcessResult r = target.run({"--upload", dir.file("backup.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(withoutOnOff(writtenValues(target.sim())), expected);
  EXPECT_FALSE(std::filesystem::exists("-"));

  // A standard output that refuses the document is a failed backup.
  SimulatedCharger full("rotary113");
  r = runProcess("/bin/sh", {"-c", "exec \"$0\" \"$@\" > /dev/full", CHGTUNE_BINARY, "--serial",
                             full.path(), "--download", "-"});
  EXPECT_EQ(r.exitCode, 95) << r.err;
  EXPECT_TRUE(contains(r.err, "No space left on device")) << r.err;
}

}  // namespace
}  // namespace test
}  // namespace sunlink
