// A setting's value text as a user reads it, and the names of its codes.
#include "charger/setting_catalogue.h"

#include <gtest/gtest.h>

#include "charger/model_fixture.h"

namespace sunlink {
namespace {

TEST(SettingCatalogue, ValueTextReadsAsThePrintoutShowsIt) {
  const struct {
    const char* label;
    const char* value;
    const char* text;
    double number;
  } cases[] = {
      {"absorption_voltage", "05A0", "14.40 V", 14.4},
      {"float_voltage", "9999", "393.21 V", 393.21},  // unsigned: no negative voltage
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

TEST(SettingCatalogue, CodesAreNamedForTheChargerAtHand) {
  const Capabilities rotary = test::makeCapabilities(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  const Capabilities plain = test::makeCapabilities(0);
  const struct {
    const char* label;
    const char* value;
    const Capabilities& charger;
    std::optional<std::string> name;
  } cases[] = {
      {"relay_mode", "FF", plain, "remote control"},
      {"relay_mode", "0A", plain, std::nullopt},  // needs a load output
      {"relay_mode", "0B", plain, std::nullopt},
      {"battery_type", "03", rotary, "Rotary switch position 2"},
      {"battery_type", "03", plain, "Factory Defined"},
      {"battery_type", "FF", plain, "User Defined"},
      {"port_rx_function", "00", plain, "Remote on/off"},
      {"absorption_voltage", "05A0", plain, std::nullopt},  // a number, not a code
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.label) + " " + c.value);
    EXPECT_EQ(codeName(c.label, c.value, c.charger), c.name);
  }
}

}  // namespace
}  // namespace sunlink
