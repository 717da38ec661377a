#include "sim/profiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/registers.h"

namespace sunlink {
namespace sim {
namespace {

// What the program knows about a charger when it picks the registers to read: the capability
// word (from register 0x0140, or derived from the model and firmware), the street-light version
// and the firmware.
struct Known {
  std::uint32_t caps;
  int streetlight;
  std::uint16_t firmware;
};

constexpr std::uint32_t bit(int n) { return 1u << n; }
constexpr std::uint32_t LOAD = bit(0), ROTARY = bit(1), HISTORY = bit(2), CELLGUARD = bit(3),
                        AUTO_EQ = bit(6), SOLAR = bit(9), ALT_TX = bit(10), USER_SWITCH = bit(11),
                        ALARM = bit(17), ALT_RX = bit(18), VIRTUAL_LOAD = bit(19),
                        VIRTUAL_RELAY = bit(20), AES = bit(25);

// The registers the program reads for a setting, the width the charger gives them, and when the
// program reads them.
struct Row {
  std::vector<std::uint16_t> ids;
  std::size_t width;
  std::function<bool(const Known&)> read;
};

const std::vector<Row>& registerRows() {
  static const std::vector<Row> rows = {
      {{0xEDF0, 0xEDFC, 0xEDFB, 0xEDF7, 0xEDF6, 0xEDF2}, 2, [](const Known&) { return true; }},
      {{0xEDF1}, 1, [](const Known&) { return true; }},
      {{0xEDEF}, 1, [](const Known&) { return true; }},
      {{0xEDEA}, 1, [](const Known& k) { return k.firmware >= 0x112; }},
      {{0xEDF4}, 2, [](const Known& k) { return k.caps & AUTO_EQ; }},
      {{0xEDFD}, 1, [](const Known& k) { return k.caps & AUTO_EQ; }},
      {{0xED9D, 0xED9C}, 2, [](const Known& k) { return k.caps & (USER_SWITCH | AES); }},
      {{0xED90}, 2, [](const Known& k) { return k.caps & AES; }},
      {{0x0350, 0x0351, 0x0352, 0x0353, 0xEDBA, 0xEDB9, 0x100A},
       2,
       [](const Known& k) { return k.caps & (ALARM | VIRTUAL_RELAY); }},
      {{0xEDD9}, 1, [](const Known& k) { return k.caps & (ALARM | VIRTUAL_RELAY); }},
      {{0xEDFF}, 1, [](const Known& k) { return k.caps & CELLGUARD; }},
      {{0xEDAB}, 1, [](const Known& k) { return k.caps & (LOAD | VIRTUAL_LOAD); }},
      {{0xEDAC}, 2, [](const Known& k) { return k.caps & LOAD; }},  // the definition document
      {{0xEDA0, 0xEDA1, 0xEDA2, 0xEDA3, 0xEDA4, 0xEDA5},
       4,
       [](const Known& k) { return k.caps & SOLAR; }},
      {{0xEDA7}, 2, [](const Known& k) { return k.caps & SOLAR; }},
      {{0xED9B}, 1, [](const Known& k) { return (k.caps & SOLAR) && k.streetlight >= 2; }},
      {{0xED9A, 0xED99}, 2, [](const Known& k) { return (k.caps & SOLAR) && k.streetlight >= 2; }},
      {{0xED96, 0xED97}, 2, [](const Known& k) { return (k.caps & SOLAR) && k.streetlight >= 3; }},
      {{0xED9E}, 1, [](const Known& k) { return k.caps & ALT_TX; }},
      {{0xED98}, 1, [](const Known& k) { return k.caps & ALT_RX; }},
      {{REG_ROTARY_POSITION}, 1, [](const Known& k) { return k.caps & ROTARY; }},
      {{REG_CAPABILITIES}, 4, [](const Known& k) { return k.firmware >= 0x116; }},
      {{REG_HISTORY_VERSION},
       1,
       [](const Known& k) { return k.firmware >= 0x116 && (k.caps & HISTORY); }},
      {{REG_STREETLIGHT_VERSION},
       1,
       [](const Known& k) { return k.firmware >= 0x116 && (k.caps & SOLAR); }},
      {{REG_RESTORE_DEFAULTS, REG_CLEAR_HISTORY, REG_CLOCK, REG_DEVICE_MODE_UNLOCK,
        REG_DEVICE_MODE},
       2,
       [](const Known&) { return true; }},
  };
  return rows;
}

std::uint32_t word(const RegisterBytes& bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

TEST(ProfilesTest, EachChargerHasExactlyTheRegistersTheProgramReadsInTheirWidths) {
  // Older firmware reports no capability word: the program derives it (the words below are the
  // derivations for these products and versions); newer firmware reports it in 0x0140.
  const std::map<std::string, Known> derived = {
      {"load115", {0x1E05, 1, 0x115}},
      {"rotary113", {0x2106, 0, 0x113}},
      {"load107", {0x001D, 0, 0x107}},
      {"rotary110", {0x200E, 0, 0x110}},
  };
  for (const char* name :
       {"load115", "rotary113", "recent", "load107", "rotary110", "rc116", "product300"}) {
    SCOPED_TRACE(name);
    const Profile p = profileByName(name);
    Known known{};
    if (derived.count(name)) {
      known = derived.at(name);
    } else {
      ASSERT_TRUE(p.registers.count(REG_CAPABILITIES));
      known.caps = word(p.registers.at(REG_CAPABILITIES));
      known.streetlight = static_cast<int>(word(p.registers.at(REG_STREETLIGHT_VERSION)));
      known.firmware = p.versionWord & 0x0FFF;
    }
    EXPECT_EQ(p.versionWord & 0x0FFF, known.firmware);
    for (const Row& row : registerRows()) {
      for (std::uint16_t id : row.ids) {
        char label[16];
        std::snprintf(label, sizeof label, "0x%04X", id);
        auto it = p.registers.find(id);
        EXPECT_EQ(it != p.registers.end(), row.read(known)) << label;
        if (it != p.registers.end()) {
          EXPECT_EQ(it->second.size(), row.width) << label;
        }
      }
    }
  }
}

TEST(ProfilesTest, RecentChargerReportsItselfAndItsRatings) {
  const Profile p = profileByName("recent");
  EXPECT_TRUE(isMpptProductId(p.productId));
  EXPECT_EQ(p.versionWord >> 14, 1);         // application
  EXPECT_GE(p.versionWord & 0x0FFF, 0x116);  // reports its capabilities
  const std::uint32_t caps = word(p.registers.at(REG_CAPABILITIES));
  for (std::uint32_t flag :
       {LOAD, HISTORY, AUTO_EQ, SOLAR, ALT_TX, USER_SWITCH, ALARM, ALT_RX, VIRTUAL_RELAY, AES}) {
    EXPECT_TRUE(caps & flag) << flag;
  }
  EXPECT_EQ(caps >> 26, 0u);  // no bits beyond the 26 flags
  EXPECT_EQ(p.registers.at(REG_STREETLIGHT_VERSION), u8(3));
  EXPECT_EQ(p.registers.at(REG_BATTERY_VOLTAGE_RANGE), (RegisterBytes{12, 24}));
  EXPECT_EQ(word(p.registers.at(REG_MAX_CURRENT)), 500u);       // 50.0 A
  EXPECT_EQ(word(p.registers.at(REG_MAX_PV_VOLTAGE)), 10000u);  // 100.00 V
  EXPECT_EQ(p.registers.at(REG_MODEL_NAME), textBytes("MPPT 100/50 Sim"));
  EXPECT_TRUE(p.readOnly.count(REG_CAPABILITIES));

  // Product 0x0300 takes its ratings from the program's table: it must not be asked, and a
  // question would show as a refused read.
  const Profile small = profileByName("product300");
  for (std::uint16_t id : {REG_MAX_CURRENT, REG_BATTERY_VOLTAGE_RANGE, REG_MAX_PV_VOLTAGE}) {
    EXPECT_FALSE(small.registers.count(id)) << id;
  }
}

TEST(ProfilesTest, NonChargersAnswerAsTheirKindDoes) {
  struct Case {
    const char* name;
    unsigned firmwareType;  // top two bits of the version word
    bool mppt;
    bool hasRegisters;
  };
  const std::vector<Case> cases = {
      {"bootloader", 0, true, false},
      {"tester", 2, true, false},
      {"monitor", 1, false, true},
      {"rc116", 3, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Profile p = profileByName(c.name);
    EXPECT_EQ(p.versionWord >> 14, c.firmwareType);
    EXPECT_EQ(isMpptProductId(p.productId), c.mppt);
    EXPECT_EQ(!p.registers.empty(), c.hasRegisters);
    EXPECT_FALSE(p.silent);
  }
  EXPECT_TRUE(profileByName("silent").silent);
  EXPECT_TRUE(profileByName("silent").textLabels.empty());
}

TEST(ProfilesTest, TextLabelsNameTheProductAsDiscoveryReadsIt) {
  for (const std::string& name : profileNames()) {
    SCOPED_TRACE(name);
    const Profile p = profileByName(name);
    EXPECT_EQ(p.name, name);
    EXPECT_FALSE(p.description.empty());
    if (p.textLabels.empty()) continue;
    // Discovery reads PID as "0x%x" and wants at least three identity labels.
    EXPECT_EQ(p.textLabels[0].first, "PID");
    unsigned pid = 0;
    ASSERT_EQ(std::sscanf(p.textLabels[0].second.c_str(), "0x%x", &pid), 1);
    EXPECT_EQ(pid, p.productId);
    ASSERT_GE(p.textLabels.size(), 3u);
    EXPECT_EQ(p.textLabels[1].first, "FW");
    EXPECT_EQ(p.textLabels[2].first, "SER#");
    for (const auto& pair : p.textLabels) {
      // A TAB, CR, LF or ":" would break the line of the block on the wire.
      EXPECT_EQ(pair.first.find_first_of("\t\r\n:"), std::string::npos);
      EXPECT_EQ(pair.second.find_first_of("\t\r\n:"), std::string::npos);
      EXPECT_FALSE(pair.second.empty());
    }
  }
  EXPECT_THROW(profileByName("Load115"), std::invalid_argument);
}

TEST(ProfilesTest, ValueHelpersLayBytesOutLeastSignificantFirst) {
  EXPECT_EQ(u8(0x0C), (RegisterBytes{0x0C}));
  EXPECT_EQ(u16(0x0564), (RegisterBytes{0x64, 0x05}));
  EXPECT_EQ(u32(0x6402FFC4), (RegisterBytes{0xC4, 0xFF, 0x02, 0x64}));
  EXPECT_EQ(textBytes("AB"), (RegisterBytes{'A', 'B'}));
}

}  // namespace
}  // namespace sim
}  // namespace sunlink
