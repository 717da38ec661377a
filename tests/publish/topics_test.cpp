// What a charger's identity becomes in its topics: never a wildcard, a level of its own or a
// control character, whatever the charger or the system calls it.
#include "publish/topics.h"

#include <gtest/gtest.h>

namespace sunlink {
namespace {

TEST(Topics, KeepOnlyLettersDigitsUnderscoreAndDash) {
  const struct {
    std::string text;
    std::string clean;
  } cases[] = {
      {"HQ2231ABCDE", "HQ2231ABCDE"},
      {"hq_22-31", "hq_22-31"},
      {"HQ22+31", "HQ2231"},
      {"HQ#", "HQ"},
      {"../other/charger", "othercharger"},
      {"HQ 22\t31\r\n", "HQ2231"},
      {std::string("HQ\0"
                   "22",
                   5),
       "HQ22"},
      {"\x7f\x1b[2J", "2J"},
      {"Ser\xc3\xa9"
       "4",
       "Ser4"},  // é: letters outside ASCII are left out too
      {"+#/", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(cleanTopicPart(c.text), c.clean);
  }
}

TEST(Topics, IdentityIsTheSerialElseThePortsStableNameElseTheProductId) {
  const std::string byId = "/dev/serial/by-id/usb-Serial_Adapter_A1B2C3-if00-port0";
  const struct {
    std::string serial, stablePort, productId, id;
  } cases[] = {
      {"HQ2231ABCDE", byId, "0xA053", "HQ2231ABCDE"},
      {"HQ/22#31", byId, "0xA053", "HQ2231"},
      {"", byId, "0xA053", "usb-Serial_Adapter_A1B2C3-if00-port0"},
      {"+/#", byId, "0xA053", "usb-Serial_Adapter_A1B2C3-if00-port0"},
      {"", "", "0xA053", "0xA053"},
      {"", "", "", "unknown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial + " | " + c.stablePort + " | " + c.productId);
    EXPECT_EQ(chargerTopicId(c.serial, c.stablePort, c.productId), c.id);
  }
  const MqttTopics chosen = mqttTopics("", "HQ2231");
  EXPECT_EQ(chosen.state, "chgtune/HQ2231/state");
  EXPECT_EQ(chosen.availability, "chgtune/HQ2231/availability");
  const MqttTopics given = mqttTopics("site/garage", "HQ2231");
  EXPECT_EQ(given.state, "site/garage/state");
  EXPECT_EQ(given.availability, "site/garage/availability");
}

}  // namespace
}  // namespace sunlink
