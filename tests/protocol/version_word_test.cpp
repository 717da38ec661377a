// The version word of a ping's answer: the firmware's type and version texts.
#include "protocol/version_word.h"

#include <gtest/gtest.h>

#include <string>

namespace sunlink {
namespace {

TEST(FirmwareText, TypeAndVersionFollowTheTopBits) {
  struct Case {
    std::uint16_t word;
    const char* type;
    const char* version;
  };
  const Case cases[] = {
      {0x4116, "application", "1.16"},        {0x4107, "application", "1.07"},
      {0xC116, "release candidate", "C1.16"}, {0x0105, "bootloader", "1.05"},
      {0x1105, "keyloader", "1.05"},          {0x2105, "universal bootloader", "1.05"},
      {0x3105, "bootloader", "1.05"},         {0x8116, "tester", "1.16"},
      {0x7A0F, "application", "3A.0F"},       {0x0000, "bootloader", "0.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const VersionWord word(c.word);
    EXPECT_EQ(word.typeText(), c.type);
    EXPECT_EQ(word.versionText(), c.version);
    EXPECT_EQ(word.text(), std::string(c.type) + " v" + c.version);
  }
}

}  // namespace
}  // namespace sunlink
