// Reads the charger's settings into the table, in table order.
#pragma once

#include "settings/vreg_table.h"

namespace sunlink {

class QmxSerial;

// 0 every Vreg ended well, 94 at least one failed, 3 no ping reply or no device id, 81 not
// application firmware. Holds the link lock for the whole pass; no_response passes through.
int retrieve(QmxSerial& link, VregTable& table);
// 0, or -4 (limit_failed) when the value lies outside min..max (unsigned 32-bit comparisons).
int limitCheck(const Vreg& vreg);

}  // namespace sunlink
