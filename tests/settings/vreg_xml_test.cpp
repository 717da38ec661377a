// The vreg definition format and the definitions carried in the program.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "base/errors.h"
#include "settings/settings_file.h"
#include "settings/xml_reader.h"
#include "support/log_capture.h"

namespace sunlink {
namespace {

namespace pt = boost::property_tree;
using test::LogCapture;

pt::ptree parse(const std::string& xml) { return readXmlDocument(xml, maxSettingsFileDepth); }

VregTable loadEmbedded() {
  VregTable table;
  vregsFromTree(parse(embeddedDefaults), table);
  return table;
}

TEST(VregXmlTest, EmbeddedDocumentGives56VregsInRowOrder) {
  const std::vector<std::string> labels = {"is_mppt",
                                           "is_qmx",
                                           "capabilities_reg",
                                           "capabilities1",
                                           "capabilities2",
                                           "capabilities3",
                                           "capabilities4",
                                           "capabilities5",
                                           "capabilities6",
                                           "capabilities7",
                                           "capabilities8",
                                           "capabilities9",
                                           "capabilities10",
                                           "capabilities11",
                                           "capabilities12",
                                           "has_load",
                                           "has_rotary",
                                           "has_auto_equalize",
                                           "has_solar_timer",
                                           "has_alt_tx_function",
                                           "has_user_load_switch",
                                           "has_alt_rx_function",
                                           "qmx_soc",
                                           "auto_absorption_voltage",
                                           "auto_float_voltage",
                                           "battery_voltage1",
                                           "battery_voltage2",
                                           "battery_voltage3",
                                           "maximum_current",
                                           "bulk_time_limit",
                                           "absorption_time_limit",
                                           "absorption_voltage",
                                           "float_voltage",
                                           "temperature_compensation",
                                           "battery_type",
                                           "load_control",
                                           "load_offset",
                                           "port_tx_function",
                                           "port_rx_function",
                                           "load_switch_high_level",
                                           "load_switch_low_level",
                                           "lighting_event1",
                                           "lighting_event2",
                                           "lighting_event3",
                                           "lighting_event4",
                                           "lighting_event5",
                                           "lighting_event6",
                                           "midpoint_shift",
                                           "dim_speed",
                                           "panel_voltage_night",
                                           "panel_voltage_day",
                                           "equalisation_voltage",
                                           "auto_equalise",
                                           "battery_voltage_setting1",
                                           "battery_voltage_setting2",
                                           "battery_voltage_setting3"};
  const VregTable table = loadEmbedded();
  ASSERT_EQ(table.size(), 56u);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const Vreg& v = table.vregs()[i];
    const std::size_t row = i + 1;
    EXPECT_EQ(v.label, labels[i]) << "row " << row;
    // Presets carry a value and are ok; everything read from the charger starts unknown.
    const bool preset = row == 1 || row == 2 || (row >= 4 && row <= 22);
    EXPECT_EQ(v.status, preset ? VREG_OK : VREG_UNKNOWN) << v.label;
    EXPECT_EQ(v.value.empty(), !preset) << v.label;
    EXPECT_EQ(v.scale, 1.0);
    if (row >= 29 && row <= 53) {
      EXPECT_EQ(v.set, REG_NONE) << v.label;
    }
  }
}

TEST(VregXmlTest, EmbeddedRowsKeepTheirAttributes) {
  VregTable table = loadEmbedded();
  const Vreg& mppt = table.find("is_mppt");
  EXPECT_EQ(mppt.group, "is_mppt");
  EXPECT_EQ(mppt.productids, "0x0300,0xA040:0xA07F");
  EXPECT_EQ(mppt.value, "01");
  EXPECT_TRUE(mppt.conditions.empty());

  const Vreg& caps = table.find("capabilities_reg");
  EXPECT_EQ(caps.get, 0x140u);
  EXPECT_EQ(caps.set, REG_NO_ACCESS);
  EXPECT_EQ(caps.minver, "1.16");
  EXPECT_EQ(caps.conditions, (std::map<std::string, std::string>{{"is_mppt", "01"}}));

  const Vreg& caps12 = table.find("capabilities12");
  EXPECT_EQ(caps12.productids, "0xA040:0xA041,0xA044:0xA04B");
  EXPECT_EQ(caps12.minver, "1.15");
  EXPECT_EQ(caps12.maxver, "1.15");
  EXPECT_EQ(caps12.value, "2506");

  // Held as written, so the mask tests bit 18 of the recorded capability word.
  EXPECT_EQ(table.find("has_alt_rx_function").conditions,
            (std::map<std::string, std::string>{{"caps", "40000"}}));

  const Vreg& battery = table.find("battery_voltage1");
  EXPECT_EQ(battery.auto_bat, "absorption_voltage,float_voltage");
  EXPECT_EQ(battery.group, "battery_voltage");
  EXPECT_EQ(battery.maxver, "1.08");
  EXPECT_EQ(battery.get, 0xEDEFu);
  EXPECT_EQ(battery.set, 0xEDEFu);

  const Vreg& setting3 = table.find("battery_voltage_setting3");
  EXPECT_EQ(setting3.get, 0xEDEAu);
  EXPECT_EQ(setting3.set, 0xEDEFu);
  EXPECT_EQ(table.find("battery_voltage_setting2").set, REG_NO_ACCESS);
  EXPECT_EQ(table.find("qmx_soc").conditions,
            (std::map<std::string, std::string>{{"is_qmx", "01"}}));
  EXPECT_EQ(table.find("dim_speed").conditions,
            (std::map<std::string, std::string>{{"has_solar_timer", "01"}}));
}

TEST(VregXmlTest, EmbeddedDocumentCarriesItsComments) {
  std::vector<std::string> comments;
  const pt::ptree tree = parse(embeddedDefaults);
  for (const auto& child : tree.get_child("qmx.vregs")) {
    if (child.first == "<xmlcomment>") comments.push_back(child.second.data());
  }
  const std::vector<std::string> expected = {
      " Determine capabilities ",
      " Split the capabilities in boolean values (for conveniance) ",
      " Items for the qmx ",
      " Items valid for all versions / mppts ",
      " only used to get the absorption voltage for battery voltage detection ",
      " only used to get the float voltage for battery voltage detection ",
      " (temporarily) use the rounded absorption/float voltage and not auto ",
      " use the actual voltage ",
      " temporarily use the actual voltage (and not auto) ",
      " Other items triggered by capabilities ",
      " Setting float/absorption/euqalisation voltage after the battery_voltage_setting might "
      "lead to problems when the setting is auto, so set it at the end ",
      " Use the actual setting ",
      " Do nothing, as actual setting is not known ",
      " Use the actual setting ",
  };
  EXPECT_EQ(comments, expected);
  EXPECT_EQ(std::string(embeddedDefaults).rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0),
            0u);
}

TEST(VregXmlTest, AttributesFollowTheirReadingRules) {
  const VregTable table = [] {
    VregTable t;
    vregsFromTree(parse(R"(<qmx><vregs>
        <vreg label="a" get="0xEDF7" set="320" verify="0xedf6" value="0x05A0" min="1000"
              max="0x0600" group="g" minver="1.09" maxver="1.11" productids="0x0300"
              auto_bat="x,y" caps="0x0001" status="get_failed"/>
        <note label="ignored"/>
        <!-- ignored too -->
        <vreg label="b" get="nothing" set="0X10" value="x"/>
        <vreg label="c" get="99999999999"/>
      </vregs></qmx>)"),
                  t);
    return t;
  }();
  ASSERT_EQ(table.size(), 3u);
  const Vreg& a = table.vregs()[0];
  EXPECT_EQ(a.get, 0xEDF7u);
  EXPECT_EQ(a.set, 320u);  // decimal without the prefix
  EXPECT_EQ(a.verify, 0xEDF6u);
  EXPECT_EQ(a.value, "05A0");
  EXPECT_EQ(a.status, VREG_OK);  // a value makes it ok
  EXPECT_EQ(a.min, "03E8");
  EXPECT_EQ(a.max, "0600");
  EXPECT_EQ(a.group, "g");
  EXPECT_EQ(a.minver, "1.09");
  EXPECT_EQ(a.maxver, "1.11");
  EXPECT_EQ(a.productids, "0x0300");
  EXPECT_EQ(a.auto_bat, "x,y");
  EXPECT_EQ(a.scale, 1.0);
  // Unknown names, the settings file's status among them, become conditions.
  EXPECT_EQ(a.conditions, (std::map<std::string, std::string>{{"caps", "0001"}, {"status", "00"}}));

  const Vreg& b = table.vregs()[1];
  EXPECT_EQ(b.get, 0u);  // not a number
  EXPECT_EQ(b.set, 0u);  // upper-case X is no prefix: decimal 0
  EXPECT_EQ(b.value, "00");
  EXPECT_EQ(table.vregs()[2].get, 0xFFFFFFFFu);
  EXPECT_EQ(table.vregs()[2].status, VREG_UNKNOWN);
}

TEST(VregXmlTest, VregWithoutAttributesStopsTheLoading) {
  VregTable table;
  try {
    vregsFromTree(parse("<qmx><vregs><vreg label=\"a\"/><vreg/><vreg label=\"c\"/></vregs></qmx>"),
                  table);
    FAIL() << "no exception";
  } catch (const pt::ptree_bad_path& e) {
    EXPECT_STREQ(e.what(), "No such node (<xmlattr>)");
  }
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.vregs()[0].label, "a");
}

TEST(VregXmlTest, DuplicateLabelStopsTheLoading) {
  VregTable table;
  LogCapture log;
  EXPECT_THROW(vregsFromTree(parse("<qmx><vregs><vreg label=\"a\"/><vreg label=\"a\" get=\"1\"/>"
                                   "<vreg label=\"b\"/></vregs></qmx>"),
                             table),
               settings_error);
  EXPECT_EQ(table.size(), 1u);
  EXPECT_TRUE(log.contains("ERR.settings: push: vreg \"a\" already present"));
}

TEST(VregXmlTest, WhereTheListComesFrom) {
  LogCapture log;
  VregTable empty;
  vregsFromTree(parse("<qmx><vregs><other/></vregs></qmx>"), empty);
  EXPECT_EQ(empty.size(), 0u);  // a list with no vreg: no defaults either
  EXPECT_FALSE(empty.loaded);
  EXPECT_TRUE(log.lines().empty());

  for (const char* xml : {"<settings><vregs><vreg label=\"a\"/></vregs></settings>",
                          "<qmx><vreg label=\"a\"/></qmx>"}) {
    log.reset();
    VregTable table;
    vregsFromTree(parse(xml), table);
    EXPECT_EQ(table.size(), 56u) << xml;
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{
                  "INF.settings: xml file: does not contain settings, using defaults"});
  }
}

}  // namespace
}  // namespace sunlink
