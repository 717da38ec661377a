// The live values of a charger's TEXT blocks: what it measures and reports block after block
// (battery, panel, load output, relay, state, error, yields), decoded from the label/value pairs of
// one checksum-valid block into one record, with the charger's codes named in words.
//
// Pure: pairs in, a record out; no threads, no I/O, no clock. The watch feeds it the pairs the
// link's textSignal delivers and formats each record it completes (protocol/live_forms.h).
//
// What the decoder promises:
// - Numbers are kept exactly as the charger sent them, in its own units (mV, mA, W, 0.01 kWh,
//   codes); they are converted only when shown, so 13280 mV shows as 13.28 V, never 13.279999.
// - A field is absent when the block lacks its label or when the value is not a number the label
//   can hold: garbage, a blank, a sign where none belongs, digits past the charger's 32-bit range.
//   An absent field is never a wrong one.
// - Labels are matched exactly as the charger spells them. Pairs of labels it does not know stay
//   in `other`, in block order; the "Checksum" pair ends the block and is no value.
// - A label given twice in one block counts with its later value. So when a block's Checksum pair
//   is missing (the link yields none when the checksum byte is CR) and two blocks run together,
//   the record carries the newer block's values.
// - Decoding never throws but for memory, and a long run reuses the record's storage: memory does
//   not grow with the number of blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sunlink {

// The live values a block can carry, in the order the program shows them.
enum class LiveField : std::uint8_t {
  batteryV,           // V: battery voltage, mV
  batteryA,           // I: battery current, mA, positive while charging
  panelV,             // VPV: panel voltage, mV
  panelW,             // PPV: panel power, W
  load,               // LOAD: load output on or off
  loadA,              // IL: load current, mA
  relay,              // Relay: on or off
  state,              // CS: state of operation (stateName)
  tracker,            // MPPT: tracker mode (trackerName)
  error,              // ERR: error code (errorName)
  offReason,          // OR: why the charger is off, a bit mask (offReasonName)
  yieldTotal,         // H19: yield since the charger was new, 0.01 kWh
  yieldToday,         // H20: yield today, 0.01 kWh
  yieldYesterday,     // H22: yield yesterday, 0.01 kWh
  maxPowerToday,      // H21: highest panel power today, W
  maxPowerYesterday,  // H23: highest panel power yesterday, W
  day,                // HSDS: the charger's day number
};
constexpr std::size_t kLiveFieldCount = static_cast<std::size_t>(LiveField::day) + 1;

// How a field's value is read from its text and shown.
enum class LiveKind : std::uint8_t {
  milli,  // thousandths of the unit (mV, mA): shown with 2 decimals, 3 when the last one counts
  centi,  // hundredths of the unit (0.01 kWh): shown with 2 decimals
  whole,  // whole units (W) or a count (the day number)
  onOff,  // "ON" or "OFF" (any letter case): 1 or 0
  code,   // a decimal code with a name (nameOf)
  mask,   // a bit mask in hex ("0x00000001") whose bits have names (nameOf)
};

// One row of the table of live values: the one place that says what a label means.
struct LiveFieldInfo {
  LiveField field;
  const char* label;  // the TEXT label as the charger spells it ("V")
  const char* name;   // the program's name in the logfmt line, JSON and topics ("battery_v")
  const char* unit;   // "V", "A", "W", "kWh"; "" for on/off, codes, masks and counts
  LiveKind kind;
  bool isSigned;                         // may be negative (the battery current)
  std::string (*nameOf)(std::uint32_t);  // code and mask: the words for a value; null otherwise
};

// Every field, in LiveField order.
const std::array<LiveFieldInfo, kLiveFieldCount>& liveFields();
inline const LiveFieldInfo& liveFieldInfo(LiveField field) {
  return liveFields()[static_cast<std::size_t>(field)];
}

// One block's values. Every member is absent (or empty) when the block did not carry it.
struct LiveValues {
  std::optional<std::uint16_t> productId;  // PID ("0xA042")
  std::optional<std::string> firmware;     // FW as the charger sends it ("115" for 1.15)
  std::optional<std::string> serial;       // SER#
  // Each field's number in the charger's units (LiveFieldInfo): mV, mA, W, 0.01 kWh, 1 or 0 for
  // on and off, codes and masks.
  std::array<std::optional<std::int64_t>, kLiveFieldCount> values;
  // The pairs of labels the program does not know, in block order, one per label.
  std::vector<std::pair<std::string, std::string>> other;

  const std::optional<std::int64_t>& operator[](LiveField field) const {
    return values[static_cast<std::size_t>(field)];
  }
  std::optional<std::int64_t>& operator[](LiveField field) {
    return values[static_cast<std::size_t>(field)];
  }
};

// Turns the pairs of checksum-valid blocks into one LiveValues per block. Owns its record; called
// by one thread at a time (the link's reader thread, inside textSignal, or a test).
class LiveDecoder {
 public:
  // Takes the next pair of a block. Returns true for the block's last pair, ("Checksum", byte):
  // values() then holds the block's record until the next pair starts the next record.
  bool feed(std::string_view label, std::string_view value);
  const LiveValues& values() const { return values_; }

 private:
  LiveValues values_;
  bool blockDone_ = false;
};

// The words for the charger's codes. A code without words of its own is named by its kind and
// number ("state 9", "tracker 7", "error 99").
std::string stateName(std::uint32_t code);    // CS: "off", "fault", "bulk", ...
std::string trackerName(std::uint32_t code);  // MPPT: "off", "MPP tracker active", ...
std::string errorName(std::uint32_t code);    // ERR: "none", "charger over current", ...
// OR: the names of the set bits, lowest first, joined by ", " ("no input power, remote input");
// "none" for 0; a bit without a name as its hex value ("0x200").
std::string offReasonName(std::uint32_t mask);

// A value as the program shows it in the field's unit, exactly: "13.28" (13280 mV), "13.285",
// "-2.45" (-2450 mA), "0.12" (12 x 0.01 kWh), "32" (W), "on", "bulk", "no input power".
std::string liveValueText(LiveField field, std::int64_t value);
// A value as a number in the field's unit (13.28 for 13280 mV; codes and counts as they are; 1 or
// 0 for on and off), for forms that carry numbers (JSON).
double liveValueNumber(LiveField field, std::int64_t value);

// The firmware as the program writes versions: the TEXT label holds the version's digits without
// the point, so "115" is "1.15". A text shorter than three characters is returned as it is.
std::string firmwareText(const std::string& firmware);

}  // namespace sunlink
