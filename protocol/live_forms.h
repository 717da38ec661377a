// The three text forms of a block's live values (codec/live_values.h) that the watch writes: a
// logfmt line, a JSON object and the lines of a terminal panel.
//
// Pure functions: the time of the block is passed in (no clock inside), nothing is written. They
// live above the codec because they escape the charger's texts for the terminal (base/shown_text)
// and build JSON with the JSON library, which the codec does not use.
//
// Every form leaves out what the block did not carry. The charger's texts (firmware, serial,
// unknown labels and their values) are shown, never obeyed: the logfmt line and the panel escape
// them as base/shown_text does, and the JSON library escapes them in JSON.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "codec/live_values.h"

namespace sunlink {

// The time as UTC to the second (rounded down), as the logfmt line and JSON write it:
// "2026-12-08T12:34:56Z".
std::string utcTimeText(std::chrono::system_clock::time_point at);

// One logfmt line, without a line end: the UTC time, then name=value for each field present in
// table order, in its unit with codes as words, then product_id, firmware and serial:
//   2026-12-08T12:34:56Z battery_v=13.28 battery_a=2.45 ... state=bulk tracker="MPP tracker active"
// A value holding a blank, a double quote or "=" (or none at all) is written in double quotes, with
// \" for a quote and \\ for a backslash inside. Unknown labels are left out: their names are the
// charger's, not the program's.
std::string liveLogfmtLine(const LiveValues& values, std::chrono::system_clock::time_point at);

// One JSON object on one line, without a line end: "time" (UTC text), "product_id" ("0xA042"),
// "firmware" ("1.15"), "serial", then each field present under its name as a number in its unit
// (on and off as true and false), a code or mask also as "<name>_name" with its words, and
// "other", an object of the unknown labels' values as text, when there are any. Charger text that
// is not valid UTF-8 is written with replacement characters.
std::string liveJsonObject(const LiveValues& values, std::chrono::system_clock::time_point at);

// The panel's lines, without line ends: a heading with the model name (looked up by the caller,
// empty for none), the firmware as v1.15, the serial and the time of day given (seconds since
// midnight, shown as 12:34:56), then one line each for the battery, the panel, the load output and
// relay, the error and off reason, and the yields:
//   MPPT 75/15  v1.15  HQ1234ABCDE  12:34:56
//   Battery  13.28 V  +2.45 A  Bulk (MPP tracker active)
//   Panel    18.10 V  32 W
//   Load     on  0.30 A
//   Error    none
//   Yield    today 0.12 kWh (max 45 W)  yesterday 0.34 kWh (max 60 W)  total 12.34 kWh
// The relay follows the load ("relay off"; a line "Relay    off" of its own when the block has no
// load values), an off reason other than 0 the error ("off: no input power"), the day number the
// yields ("day 12"). A value the block lacks is left out, and a line left without values with it
// (a charger without a load output has no Load line). Unknown labels are not shown.
std::vector<std::string> livePanelLines(const LiveValues& values, const std::string& modelName,
                                        std::chrono::seconds timeOfDay);

}  // namespace sunlink
