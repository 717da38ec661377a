// Profiles of the simulated charger: what one kind of device answers (firmware, product id, the
// registers it has with their factory values, the labels of its TEXT blocks).
//
// Every charger profile carries plausible 12 V values for each register the program reads from
// that kind of charger: identification (model name, capability word, rating registers on firmware
// 1.16 and later), the register map rows pushed for its capability flags and firmware, the rows of
// the embedded definition document that apply to it, and the command registers. Register values
// keep the charger's own widths: 8-bit registers 1 byte, 16-bit 2, lighting events and the
// capability word 4, the model name its text.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sunlink {
namespace sim {

// A register's value as the charger holds it: its bytes, least significant first (the wire order),
// 1, 2 or 4 bytes, or the bytes of a text.
using RegisterBytes = std::vector<std::uint8_t>;

RegisterBytes u8(std::uint8_t value);
RegisterBytes u16(std::uint16_t value);
RegisterBytes u32(std::uint32_t value);
RegisterBytes textBytes(const std::string& text);

struct Profile {
  std::string name;
  std::string description;
  // Answers to ping and get device id. versionWord's top two bits give the firmware type
  // (01 application, 11 release candidate, 00 boot loader, 10 tester).
  std::uint16_t versionWord = 0x4115;
  std::uint16_t productId = 0xA042;
  bool silent = false;  // answers nothing at all
  // The registers the device has, with their factory values (what a reset to factory defaults
  // brings back).
  std::map<std::uint16_t, RegisterBytes> registers;
  // Registers that hold text rather than a number (their width is not checked on a write).
  std::set<std::uint16_t> textRegisters;
  // Registers the device reports but refuses to have written (identification and ratings).
  std::set<std::uint16_t> readOnly;
  // Identity and measurement labels of the TEXT blocks, in block order (PID as "0x" + hex, ...).
  // Empty: the device sends no TEXT blocks.
  std::vector<std::pair<std::string, std::string>> textLabels;
  // Labels whose value was given with setTextLabel: a simulated day, a raised error and the
  // battery voltage's wander from block to block leave them as they are.
  std::set<std::string> fixedTextLabels;
  // How current firmware behaves on the line. Every reply comes after these stray bytes and this
  // many unasked code-0xA frames; every other reply then follows a whole TEXT block directly (the
  // reply's ':' right after the block's checksum byte, no line end between), and the first ping
  // reply a TEXT block whose first bytes are missing.
  bool textBeforeReplies = false;
  bool cutTextBeforeFirstPing = false;
  int asyncFramesBeforeReply = 0;
  std::string strayBeforeReply;
};

// "load115", "rotary113", "recent", "current161" (current firmware), "bootloader", "monitor" (not
// MPPT), "silent", and a few more (see profileNames). Throws std::invalid_argument for an unknown
// name.
Profile profileByName(const std::string& name);
// Every profile name, in a fixed order.
std::vector<std::string> profileNames();
// Gives the label this value in the profile's TEXT blocks, for good: in its place when the profile
// has the label, else at the end. A charger's text may hold anything, control characters included.
void setTextLabel(Profile& profile, const std::string& label, const std::string& value);

}  // namespace sim
}  // namespace sunlink
