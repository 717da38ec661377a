// One-shot commands on the charger: ping, check the firmware runs its application, then write.
// Each returns 0 (every write acknowledged), 3 (no ping reply / no response), 81 (not application
// firmware) or 22 (a write refused, or any other failure). Banners go to out, messages to err.
// Hold the link lock for the whole command. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

namespace sunlink {

class QmxSerial;

int resetToFactoryDefaults(QmxSerial& link, std::ostream& out, std::ostream& err);
int clearHistory(QmxSerial& link, std::ostream& out, std::ostream& err);
int setClock(QmxSerial& link, std::ostream& out, std::ostream& err);
// setClock with the minutes since local midnight taken from minutesNow (asked once, after the
// firmware check) instead of the computer's clock.
int setClock(QmxSerial& link, std::ostream& out, std::ostream& err,
             const std::function<std::uint16_t()>& minutesNow);
int chargerOff(QmxSerial& link, std::ostream& out, std::ostream& err);
int chargerOn(QmxSerial& link, std::ostream& out, std::ostream& err);
// --switch-on and --switch-off: chargerOn and chargerOff with their results, then one line that
// says the state the charger is in: on out when it confirmed, on err when not.
int switchChargerOn(QmxSerial& link, std::ostream& out, std::ostream& err);
int switchChargerOff(QmxSerial& link, std::ostream& out, std::ostream& err);

// What the user is told when the charger did not confirm a switch-on: "may be left off (...)".
extern const char* const chargerMayBeOff;

}  // namespace sunlink
