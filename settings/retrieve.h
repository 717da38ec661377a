// Reads the charger's settings into the table, in table order.
#pragma once

#include <map>
#include <ostream>
#include <string>

#include "codec/hex_msg.h"
#include "protocol/version_word.h"
#include "settings/vreg_table.h"

namespace sunlink {

class HexProtocol;
class QmxSerial;

// 0 every Vreg ended well, 94 at least one failed, 3 no ping reply or no device id, 81 not
// application firmware. Holds the link lock for the whole pass; no_response passes through.
int retrieve(QmxSerial& link, VregTable& table);
// After a retrieve that ended with 94, so that a backup or printout missing settings does not pass
// for a whole one: names on err, in table order, the settings it could not read (get_failed,
// config_error) and those outside their limits (limit_failed), one line for each kind that occurs.
// file is the settings file written from the table, which lacks the unread ones ("" when none).
void reportFailedSettings(const VregTable& table, const std::string& file, std::ostream& err);
// Pings the charger before a pass ("retrieve" to "load" settings, "restore" to "save" them): 0 with
// versionWord set when it runs application or release-candidate firmware, the only kinds that know
// its settings; else 3 (no ping reply) or 81 with the error line logged. no_response passes
// through.
int pingApplication(HexProtocol& hex, const char* pass, const char* work, VersionWord& versionWord);
// The value text of a get-register reply read up to its flags byte: the bytes that follow, without
// the frame's checksum byte, in value order (data bytes 0x64, 0x05 give "0564").
std::string registerValueText(const HexMsg& reply);
// 0, or -4 (limit_failed) when the value lies outside min..max (unsigned 32-bit comparisons).
int limitCheck(const Vreg& vreg);
// For a battery voltage whose register says 0 (the charger picks the system voltage itself): the
// system voltage (12, 24 or 48, as one byte) that the charge voltages recorded under the groups
// named in auto_bat (0.01 V units) suggest. A value other than 0 is left alone. A group without a
// record is recorded with an empty text.
void autoBatteryVoltage(Vreg& vreg, std::map<std::string, std::string>& groupValues);

}  // namespace sunlink
