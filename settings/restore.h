// Writes the table's ok values into the charger (or checks them against a verify register).
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "settings/vreg_table.h"

namespace sunlink {

class QmxSerial;

// How far a pass got, for telling the user what reached the charger when a store ends early:
// the labels the pass set out to write or check, in table order (filled before the first request),
// and those the charger took or confirmed.
struct RestoreProgress {
  std::vector<std::string> toStore;
  std::set<std::string> stored;
  std::string current;  // the label being written or checked; empty before the first and after
};

// Whether a pass writes or checks the Vreg (or fails it for a bad register): what the user may
// expect to have reached the charger, and what a comparison with a file weighs.
bool meantForCharger(const Vreg& vreg);

// 0 every handled Vreg ended well, 95 at least one failed, 3 no ping reply, 81 not application
// firmware. Holds the link lock for the whole pass; no_response passes through. progress, when
// given, is kept up to date even when a failure ends the pass. Each resend of a write the charger
// left unanswered is announced on resendNotices, when given (announceResends). only, when given,
// limits the pass to the settings of those labels.
int restore(QmxSerial& link, VregTable& table, RestoreProgress* progress = nullptr,
            std::ostream* resendNotices = nullptr, const std::set<std::string>* only = nullptr);

}  // namespace sunlink
