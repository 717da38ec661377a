#include "app/menu_operation.h"

#include <iostream>
#include <ostream>

#include "app/settings_steps.h"
#include "base/errors.h"
#include "base/statuses.h"
#include "console/console_session.h"
#include "console/menus.h"
#include "console/printout.h"
#include "platform/console.h"

namespace sunlink {

int runMenuAndStore(ChgtuneRun& run, ChargerSettings& model) {
  RunOutput& output = run.output();
  run.dump().disconnectDump();
  printSettings(model, output.lines());
  bool changed = false;
  try {
    ConsoleIo io;
    io.in = &output.in();
    io.out = &output.lines();
    io.err = &output.err();
    io.screen = standardOutputIsTerminal();
    // Only the process's own input can be a terminal.
    io.typed = io.in == &std::cin && standardInputIsTerminal();
    ConsoleSession console(model, io);
    changed = runMainMenu(console);
  } catch (const input_ended&) {
    output.lines() << std::endl;
    output.err() << "Input ended before x was typed: the settings were not stored." << std::endl;
    return kExitFailure;
  }
  if (run.options().has("dump")) run.dump().connectDump();
  return changed ? storeAndShow(run, model) : kExitOk;
}

}  // namespace sunlink
