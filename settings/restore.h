// Writes the table's ok values into the charger (or checks them against a verify register).
#pragma once

#include "settings/vreg_table.h"

namespace sunlink {

class QmxSerial;

// 0 every handled Vreg ended well, 95 at least one failed, 3 no ping reply, 81 not application
// firmware. Holds the link lock for the whole pass; no_response passes through.
int restore(QmxSerial& link, VregTable& table);

}  // namespace sunlink
