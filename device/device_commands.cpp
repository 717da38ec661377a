#include "device/device_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "platform/clock.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "protocol/version_word.h"

namespace sunlink {

const char* const chargerMayBeOff =
    "may be left off (run `chgtune --switch-on`, or power-cycle the charger).";

namespace {

struct RegisterWrite {
  std::uint16_t id;
  std::uint16_t value;
};

// What a command does once the charger is known to run its application: an optional banner and
// the writes, in order.
struct CommandPlan {
  std::string banner;  // empty: none
  std::vector<RegisterWrite> writes;
  const char* name;  // for the notice of each resend: "the <name> write"
};

// The frame every command shares: ping, check the firmware type, then write. The link lock is held
// throughout so no other exchange comes between the ping and the writes. The plan is made only
// after the firmware check, so the clock command reads the time as late as possible.
int runCommand(QmxSerial& link, std::ostream& out, std::ostream& err,
               const char* applicationRequired, const std::function<CommandPlan()>& makePlan) {
  try {
    std::lock_guard<std::recursive_mutex> lock(link.linkLock());
    HexProtocol hex(link);
    std::uint16_t version = 0;
    if (!hex.ping(version)) {
      err << "No ping reply (incorrect serial port?)\n" << std::flush;
      return kExitNoAnswer;
    }
    if (!VersionWord(version).isApplication()) {
      err << applicationRequired << "\n" << std::flush;
      return kExitNotApplication;
    }
    const CommandPlan plan = makePlan();
    if (!plan.banner.empty()) out << "\n" << plan.banner << "\n" << std::flush;
    // A refused write ends the command: switching the charger off or on writes its mode only once
    // the unlock before it was accepted.
    for (const RegisterWrite& write : plan.writes) {
      if (!hex.setRegister(write.id, write.value, announceResends(err, plan.name)))
        return kExitRefused;
    }
    return kExitOk;
  } catch (const no_response&) {
    err << "No response received (incorrect serial port?)\n" << std::flush;
    return kExitNoAnswer;
  } catch (...) {
    return kExitRefused;
  }
}

std::string hoursMinutes(std::uint16_t minutes) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u:%02u", (minutes / 60u) % 100u, minutes % 60u);
  return text;
}

// The charger takes a new mode only after its mode register was unlocked.
int setChargerMode(QmxSerial& link, std::ostream& out, std::ostream& err, std::uint16_t mode) {
  return runCommand(
      link, out, err, "Application required to change the charger on/off state... Skipping...",
      [mode] {
        return CommandPlan{"",
                           {{REG_DEVICE_MODE_UNLOCK, 0x0002}, {REG_DEVICE_MODE, mode}},
                           mode == DEVICE_MODE_OFF ? "switch-off" : "switch-on"};
      });
}

}  // namespace

int resetToFactoryDefaults(QmxSerial& link, std::ostream& out, std::ostream& err) {
  return runCommand(link, out, err,
                    "Application required to reset to factory defaults... Skipping...", [] {
                      return CommandPlan{"=== Reset settings to factory defaults ===",
                                         {{REG_RESTORE_DEFAULTS, 0x0000}},
                                         "factory reset"};
                    });
}

int clearHistory(QmxSerial& link, std::ostream& out, std::ostream& err) {
  return runCommand(link, out, err, "Application required to clear history... Skipping...", [] {
    return CommandPlan{"=== Clear history ===", {{REG_CLEAR_HISTORY, 0x0000}}, "clear history"};
  });
}

int setClock(QmxSerial& link, std::ostream& out, std::ostream& err,
             const std::function<std::uint16_t()>& minutesNow) {
  return runCommand(link, out, err, "Application required to set clock... Skipping...", [&] {
    const std::uint16_t minutes = minutesNow();
    return CommandPlan{
        "=== Set clock to " + hoursMinutes(minutes) + " ===", {{REG_CLOCK, minutes}}, "clock"};
  });
}

int setClock(QmxSerial& link, std::ostream& out, std::ostream& err) {
  return setClock(link, out, err, localMinutesOfDay);
}

int chargerOff(QmxSerial& link, std::ostream& out, std::ostream& err) {
  return setChargerMode(link, out, err, DEVICE_MODE_OFF);
}

int chargerOn(QmxSerial& link, std::ostream& out, std::ostream& err) {
  return setChargerMode(link, out, err, DEVICE_MODE_ON);
}

int switchChargerOn(QmxSerial& link, std::ostream& out, std::ostream& err) {
  const int status = chargerOn(link, out, err);
  if (status == kExitOk)
    out << "The charger is switched on.\n" << std::flush;
  else
    err << "The charger did not confirm it is switched on and " << chargerMayBeOff << "\n"
        << std::flush;
  return status;
}

int switchChargerOff(QmxSerial& link, std::ostream& out, std::ostream& err) {
  const int status = chargerOff(link, out, err);
  if (status == kExitOk)
    out << "The charger is switched off; `chgtune --switch-on` switches it on.\n" << std::flush;
  else
    err << "The charger did not confirm it is switched off: it may still be switched on.\n"
        << std::flush;
  return status;
}

}  // namespace sunlink
