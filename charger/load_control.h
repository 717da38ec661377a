// LoadControl: the charger's load-control byte ("load_control"), the load output's operation mode
// in its low four bits and the street-light controller switch in its top bit.
#pragma once

#include <cstdint>

namespace sunlink {

class LoadControl {
 public:
  static constexpr std::uint8_t MODE_MASK = 0x0F;
  static constexpr std::uint8_t LIGHTING_CONTROLLER_ON = 0x80;

  constexpr explicit LoadControl(std::uint8_t byte) : byte_(byte) {}

  constexpr std::uint8_t byte() const { return byte_; }
  // 0 to 15; the charger knows modes 0 to 7 only.
  constexpr int mode() const { return byte_ & MODE_MASK; }
  // Modes 8 to 15 (bit 3 set) mean nothing to the charger.
  constexpr bool modeKnown() const { return (byte_ & 0x08) == 0; }
  constexpr bool lightingController() const { return (byte_ & LIGHTING_CONTROLLER_ON) != 0; }

  // The byte with another mode (0 to 15); the upper four bits, the controller switch among them,
  // stay as they are.
  constexpr LoadControl withMode(int mode) const {
    return LoadControl(static_cast<std::uint8_t>((byte_ & ~MODE_MASK & 0xFF) | (mode & MODE_MASK)));
  }
  // The byte with the controller switched on or off; the other bits stay as they are.
  constexpr LoadControl withLightingController(bool on) const {
    return LoadControl(static_cast<std::uint8_t>(on ? byte_ | LIGHTING_CONTROLLER_ON
                                                    : byte_ & ~LIGHTING_CONTROLLER_ON & 0xFF));
  }

 private:
  std::uint8_t byte_;
};

}  // namespace sunlink
