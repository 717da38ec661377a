#include "app/command_operation.h"

#include <ostream>

#include "base/statuses.h"
#include "device/device_commands.h"

namespace sunlink {

namespace {

struct DeviceCommand {
  const char* option;
  int (*run)(QmxSerial& link, std::ostream& out, std::ostream& err);
};

// In the order in which the first one given wins.
const DeviceCommand deviceCommands[] = {
    {"reset", resetToFactoryDefaults},
    {"erase", clearHistory},
    {"clock", [](QmxSerial& link, std::ostream& out,
                 std::ostream& err) { return setClock(link, out, err); }},
    {"switch-on", switchChargerOn},
    {"switch-off", switchChargerOff},
};

const DeviceCommand* chosenCommand(const CommandLine& options) {
  for (const DeviceCommand& command : deviceCommands) {
    if (options.has(command.option)) return &command;
  }
  return nullptr;
}

}  // namespace

bool asksDeviceCommand(const CommandLine& options) { return chosenCommand(options) != nullptr; }

// The command talks to the charger itself; the model only tells that identification accepted it.
int runDeviceCommand(ChgtuneRun& run, ChargerSettings&) {
  const DeviceCommand* command = chosenCommand(run.options());
  if (command == nullptr) return kExitOk;
  return command->run(run.link(), run.output().lines(), run.output().err());
}

}  // namespace sunlink
