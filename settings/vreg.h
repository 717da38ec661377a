// Vreg: one charger setting as the settings engine sees it, with its value held as hex text.
//
// Value text: upper-case hex digits, most significant first, two per byte. 2 digits are one byte,
// 8 digits four bytes, any other length two bytes; empty means no value. On the wire the bytes go
// least significant first.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "protocol/registers.h"

namespace sunlink {

enum VregStatus : std::int32_t {
  VREG_OK = 0,
  VREG_SKIPPED = 1,
  VREG_UNKNOWN = 2,
  VREG_GET_FAILED = -1,
  VREG_SET_FAILED = -2,
  VREG_VERIFY_ERROR = -3,
  VREG_LIMIT_FAILED = -4,
  VREG_CONFIG_ERROR = -5,
};

// "ok", "skipped", ... for the eight statuses; nullptr for any other number.
const char* vregStatusWord(std::int32_t status);
// A read of the setting was tried and failed (the charger did not answer it, or its definition
// names no readable register): the value is not the charger's.
inline bool vregReadFailed(std::int32_t status) {
  return status == VREG_GET_FAILED || status == VREG_CONFIG_ERROR;
}

struct Vreg {
  Vreg() = default;
  // The form the register map uses: every other field at its default.
  Vreg(std::string label, std::uint32_t get, std::uint32_t set, double scale);

  std::string label;
  std::string group;
  std::string minver;
  std::string maxver;
  std::uint32_t get = REG_NONE;
  std::uint32_t set = REG_NONE;
  std::uint32_t verify = REG_NONE;
  std::string value;
  std::string min;
  std::string max;
  std::string productids;
  double scale = 1.0;
  std::string auto_bat;
  std::int32_t status = VREG_UNKNOWN;
  std::map<std::string, std::string> conditions;
  // Whether a 2-byte value is a signed number (a temperature compensation, minutes before an
  // anchor) rather than an unsigned one (a voltage, a current). Given with the scale by the
  // charger's catalogue of settings; not kept in a settings file.
  bool isSigned = true;
  // Set by retrieve when the charger answered that it has no such register (status skipped): a
  // setting this charger lacks, which nothing offers to change. Not kept in a settings file.
  bool absentFromCharger = false;

  // n bytes (1 to 4) of the value, least significant first; pairs before the text start give 0.
  std::uint32_t hexToBytes(int n) const;
  // Replaces the value by n bytes (least significant first in `bytes`) as 2n upper-case digits.
  void bytesToHex(std::uint32_t bytes, int n);

  std::uint8_t getU8() const;
  std::uint16_t getU16() const;
  std::uint32_t getU32() const;
  void setU8(std::uint8_t v);
  void setU16(std::uint16_t v);
  void setU32(std::uint32_t v);
  // 2 digits unsigned byte, 8 digits unsigned 32-bit, else 16-bit (signed unless isSigned is
  // false); divided by scale.
  double getNumber() const;
  // x times scale, truncated toward zero after removing the binary representation error (14.35
  // is 1435, not 1434), stored in the width of the current value text.
  void setNumber(double x);
};

// Appends a byte as two upper-case hexadecimal digits, as register values are written.
void appendHexByte(std::string& text, std::uint8_t byte);

// Reads a number as C's strtoul does with a 32-bit result: leading blanks, a sign, with base 0 the
// prefixes 0x (hexadecimal) and 0 (octal), with base 16 an optional 0x; reading stops at the first
// unfit character, no digit gives 0, too large a number gives 0xFFFFFFFF.
std::uint32_t readNumber(const std::string& text, int base);
// n bytes (1 to 4) of a value text such as a Vreg's min or max, least significant first; read the
// way Vreg::hexToBytes reads the value.
std::uint32_t valueBytes(const std::string& text, int n);
// True when text is whole pairs of upper-case hex digits, the only text HexMsg::appendHex takes
// whole: anything else would go on the wire cut short.
bool isWireReady(const std::string& text);

// Attribute text to value text: "0x..." keeps the digits that follow, turned to upper case (a
// hand-written 0x05a0 is the 05A0 the program writes and the charger answers); anything else is
// read as decimal (leading digits, none gives 0, at most 0xFFFFFFFF) and written with 2, 4 or 8
// upper-case hex digits.
std::string normaliseValue(const std::string& text);
// Attribute text to register id: "0x" and hexadecimal digits, else decimal digits. Reading stops at
// the first unfit character; text that is no number reads as 0, too large a number as 0xFFFFFFFF.
std::uint32_t parseRegisterId(const std::string& text);
// "1.16" gives 0x116; "" and "0" give 0; any other form logs an error and gives -1.
std::int32_t parseVersion(const std::string& text);
// Comma-separated ids and low:high ranges, automatic base.
bool matchProductIds(std::uint16_t productId, const std::string& productids);
// Every condition's group must have been recorded and have every bit of the condition's mask set.
bool conditionsHold(const Vreg& vreg, const std::map<std::string, std::string>& groupValues);
// "0564" gives "6405": value order to wire order and back. An odd-length text is read as if it had
// a leading 0, the way hexToBytes reads it ("5A0" gives "A005").
std::string reverseBytePairs(const std::string& hex);

}  // namespace sunlink
