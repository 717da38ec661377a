#include "protocol/version_word.h"

#include <cstdio>

namespace sunlink {

std::string VersionWord::typeText() const {
  switch (type()) {
    case 0:
      switch ((word_ >> 12) & 3) {
        case 1:
          return "keyloader";
        case 2:
          return "universal bootloader";
        default:
          return "bootloader";
      }
    case 1:
      return "application";
    case 2:
      return "tester";
    default:
      return "release candidate";
  }
}

std::string VersionWord::versionText() const {
  switch (type()) {
    case 0:
      return versionNumberText(word_ & 0x0FFF);
    case 3:
      return versionNumberText(word_);
    default:
      return versionNumberText(word_ & 0x3FFF);
  }
}

std::string VersionWord::text() const { return typeText() + " v" + versionText(); }

std::string versionNumberText(std::uint16_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%X.%02X", static_cast<unsigned>(version >> 8),
                static_cast<unsigned>(version & 0xFF));
  return text;
}

}  // namespace sunlink
