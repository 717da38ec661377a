// The units of the settings: in step with the register map's scales, and the text a user reads.
#include "charger/setting_units.h"

#include <gtest/gtest.h>

#include "charger/model_fixture.h"

namespace sunlink {
namespace {

// Every setting the register map pushes, for any charger, has a unit whose scale is the map's: a
// new row without one, or a scale changed in one place only, would report wrong numbers.
TEST(SettingUnits, EveryRegisterMapRowHasItsScale) {
  for (std::uint16_t firmware : {0x107, 0x110, 0x117}) {
    SCOPED_TRACE(firmware);
    const ChargerSettings model(test::makeCapabilities(0x03FFFFFF, firmware, 3), nullptr);
    for (const Vreg& vreg : model.settings.vregs()) {
      SCOPED_TRACE(vreg.label);
      EXPECT_TRUE(knownSetting(vreg.label));
      EXPECT_EQ(settingUnit(vreg.label).scale, vreg.scale);
    }
  }
}

TEST(SettingUnits, ValueTextReadsAsThePrintoutShowsIt) {
  const struct {
    const char* label;
    const char* value;
    const char* text;
    double number;
  } cases[] = {
      {"absorption_voltage", "05A0", "14.40 V", 14.4},
      {"maximum_current", "0096", "15.0 A", 15.0},
      {"temperature_compensation", "F9AC", "-16.20 mV/K", -16.2},  // signed 16-bit
      {"absorption_time_limit", "028A", "6.50 h", 6.5},
      {"relay_min_enabled", "FFFF", "65535 min", 65535},  // unsigned 16-bit
      {"midpoint_shift", "FFC4", "-60 min", -60},
      {"battery_voltage", "18", "24 V", 24},
      {"battery_type", "FF", "255", 255},
      {"lighting_event2", "32010078", "0x32010078", 838926456},
      {"hand_written_label", "0C", "0x0C", 12},  // unknown: its digits, number unscaled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(settingText(c.label, c.value), c.text);
    EXPECT_DOUBLE_EQ(*settingNumber(c.label, c.value), c.number);
  }
  EXPECT_EQ(settingText("absorption_voltage", ""), "");
  EXPECT_FALSE(settingNumber("absorption_voltage", "").has_value());
}

}  // namespace
}  // namespace sunlink
