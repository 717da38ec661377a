// The load-control byte: the mode in the low four bits, the lighting controller in the top bit.

#include "charger/load_control.h"

#include <gtest/gtest.h>

namespace sunlink {
namespace {

TEST(LoadControl, ReadsAndChangesEachPartWithoutTouchingTheOthers) {
  struct Case {
    std::uint8_t byte;
    int mode;
    bool known;
    bool lighting;
    int newMode;
    std::uint8_t withNewMode;
    std::uint8_t lightingOn;
    std::uint8_t lightingOff;
  };
  const Case cases[] = {
      {0x00, 0, true, false, 5, 0x05, 0x80, 0x00},   {0x81, 1, true, true, 3, 0x83, 0x81, 0x01},
      {0x87, 7, true, true, 0, 0x80, 0x87, 0x07},    {0x08, 8, false, false, 2, 0x02, 0x88, 0x08},
      {0x7F, 15, false, false, 4, 0x74, 0xFF, 0x7F},  // bits 4 to 6 kept as the charger set them
      {0xF3, 3, true, true, 6, 0xF6, 0xF3, 0x73},
  };
  for (const Case& c : cases) {
    const LoadControl control(c.byte);
    EXPECT_EQ(control.mode(), c.mode) << int{c.byte};
    EXPECT_EQ(control.modeKnown(), c.known) << int{c.byte};
    EXPECT_EQ(control.lightingController(), c.lighting) << int{c.byte};
    EXPECT_EQ(control.withMode(c.newMode).byte(), c.withNewMode) << int{c.byte};
    EXPECT_EQ(control.withLightingController(true).byte(), c.lightingOn) << int{c.byte};
    EXPECT_EQ(control.withLightingController(false).byte(), c.lightingOff) << int{c.byte};
  }
}

}  // namespace
}  // namespace sunlink
