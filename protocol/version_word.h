// VersionWord: the word the charger answers a ping with. Its two top bits tell which firmware runs
// (a boot loader, the application, tester firmware or a release candidate), the rest its version.
// Every part of the program that looks at a ping's answer reads it through this type.
#pragma once

#include <cstdint>
#include <string>

namespace sunlink {

class VersionWord {
 public:
  constexpr explicit VersionWord(std::uint16_t word) : word_(word) {}
  // The word of application firmware of this version number (0x116 for 1.16), or of a release
  // candidate: what identification keeps of the charger's word.
  static constexpr VersionWord ofApplication(std::uint16_t version, bool releaseCandidate) {
    return VersionWord(
        static_cast<std::uint16_t>((releaseCandidate ? 0xC000 : 0x4000) | (version & 0x0FFF)));
  }

  constexpr std::uint16_t word() const { return word_; }
  // The firmware's version number, the low 12 bits (0x116 is 1.16), compared as a number.
  constexpr std::uint16_t version() const { return word_ & 0x0FFF; }
  // Application or release-candidate firmware: the only kinds that know the charger's settings and
  // take writes. Boot loaders and tester firmware do not.
  constexpr bool isApplication() const { return type() == 1 || type() == 3; }
  constexpr bool releaseCandidate() const { return type() == 3; }

  // "application", "release candidate", "tester"; a boot loader by bits 13 and 12: "keyloader",
  // "universal bootloader" or "bootloader".
  std::string typeText() const;
  // The version as the charger's firmware names it, "%X.%02X": boot loaders show the low 12 bits
  // (1.05), a release candidate the whole word (C1.16), the others the low 14 bits (1.16).
  std::string versionText() const;
  // typeText, " v", versionText: "application v1.16".
  std::string text() const;

 private:
  constexpr unsigned type() const { return word_ >> 14; }

  std::uint16_t word_;
};

// A version number as firmware versions are written: 0x116 gives "1.16".
std::string versionNumberText(std::uint16_t version);

// The text forms under the names identification gives them, for a bare word.
inline std::string firmwareTypeText(std::uint16_t word) { return VersionWord(word).typeText(); }
inline std::string firmwareVersionText(std::uint16_t word) {
  return VersionWord(word).versionText();
}
inline std::string firmwareText(std::uint16_t word) { return VersionWord(word).text(); }

}  // namespace sunlink
