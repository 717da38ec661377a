// The run sequence. Each function below is one group of steps, called in order by runChgtune;
// the work itself is done by the subsystems they call.
#include "base/statuses.h"
#include "app/run.h"

#include <boost/system/system_error.hpp>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli.h"
#include "app/error_banner.h"
#include "base/errors.h"
#include "base/exit_program.h"
#include "link/current_link.h"
#include "base/log.h"
#include "charger/charger_settings.h"
#include "charger/menus.h"
#include "device/device_commands.h"
#include "device/discovery.h"
#include "link/qmx_serial.h"
#include "link/qmx_serial_dump.h"
#include "platform/console.h"
#include "platform/signals.h"
#include "settings/retrieve.h"
#include "settings/settings_file.h"

namespace sunlink {

namespace {

const char* const programVersion = "1.17";

// --- Start-up: clock, log, banner, options, the link ---------------------------------------------

// Termination requests are taken away from every thread before the first one (the reader of a
// link) starts, so that the watching thread alone receives them.
void startClockAndLog() {
  watchTerminationRequests();
  setCurrentLink(nullptr);
  setLogMode(LogMode());  // direct mode: every shown line goes to standard error at once
  startClock();
}

void printBanner() { std::cout << "SunLink chgtune " << programVersion << std::endl; }

// Where "--download -" puts the settings document: the real standard output, which carries nothing
// else in that run, so that "chgtune -s P --download - > backup.xml" gives a loadable file, the
// same bytes as a download to a file. The program's own lines (banner, progress, dump) go to
// standard error instead. nullptr otherwise.
std::streambuf* documentOutput = nullptr;

void keepStandardOutputForTheDocument(const CommandLine& options) {
  const bool helpOrVersion = options.has("help") || options.has("?") || options.has("version");
  if (helpOrVersion || !options.has("download") || options.text("download") != "-") return;
  writeStandardOutputUnchanged();
  documentOutput = std::cout.rdbuf(std::cerr.rdbuf());
}

// The banner comes before anything else, on the stream the options choose; a command line that
// cannot be parsed still gets it before the library's message.
CommandLine parseOptions(int argc, char* argv[]) {
  std::unique_ptr<CommandLine> options;
  try {
    options = std::make_unique<CommandLine>(argc, argv);
  } catch (...) {
    printBanner();
    throw;
  }
  keepStandardOutputForTheDocument(*options);
  printBanner();
  return *options;
}

// --help (or -?) wins over --version; both end the run before anything is opened.
void answerHelpOrVersion(const CommandLine& options) {
  if (options.has("help") || options.has("?")) {
    printHelp(std::cout);
    std::cout << std::endl;
    exitProgram(0);
  }
  if (options.has("version")) {
    std::cout << "VERSION: " << programVersion << " (build " << __DATE__ << ")" << std::endl;
    exitProgram(0);
  }
}

void startLogging(const CommandLine& options) {
  logVerbosity = options.has("verbose") ? LOG_INFO : LOG_ERROR;
  logInfo("chgtune", "start");
}

// The port named with --serial is opened as given and started later, after the dump is attached,
// so that the dump shows the start-up traffic too. Discovery hands over a link already running.
void obtainLink(const CommandLine& options) {
  if (options.has("serial")) {
    try {
      setCurrentLink(std::make_unique<QmxSerial>(options.text("serial")));
    } catch (const boost::system::system_error& e) {
      std::cerr << e.what() << std::endl;
      if (e.code() == boost::system::errc::permission_denied)
        hintPortPermission(options.text("serial"), std::cerr);
      exitProgram(kExitFailure);
    }
    return;
  }
  std::string portName;
  std::unique_ptr<QmxSerial> link = locateDevice(portName, options.has("quiet"));
  if (!link) {
    std::cerr << "Unable to detect a MPPT charger." << std::endl;
    exitProgram(kExitNoCharger);
  }
  setCurrentLink(std::move(link));
}

// Until the link exists a failure is the user's to mend (a mistyped option, a wrong port name):
// only its message is shown, without the ERROR banner.
CommandLine startUp(int argc, char* argv[]) {
  try {
    startClockAndLog();
    const CommandLine options = parseOptions(argc, argv);
    answerHelpOrVersion(options);
    startLogging(options);
    obtainLink(options);
    return options;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
  } catch (...) {
    std::cerr << "Unknown exception" << std::endl;
  }
  exitProgram(kExitFailure);
}

// --- On the link: one path, then the end ---------------------------------------------------------

// The first one-shot command given runs and ends the program with its result; the others are
// ignored. Returns only when none was given.
void runOneShotCommand(const CommandLine& options, ChargerSettings& model) {
  QmxSerial& link = *model.link;
  if (options.has("reset")) exitProgram(resetToFactoryDefaults(link, std::cout, std::cerr));
  if (options.has("erase")) exitProgram(clearHistory(link, std::cout, std::cerr));
  if (options.has("clock")) exitProgram(setClock(link, std::cout, std::cerr));
  if (options.has("upload")) {
    int status = readSettingsFile(model.settings, options.text("upload"), std::cout, std::cerr);
    if (status == 0) status = model.storeSettings();
    exitProgram(status);
  }
}

// A charger that answers neither ping nor device id has nothing to show or change: the run ends
// with that status (3) rather than pretending success. Otherwise the retrieve's status (94 when
// some settings could not be read).
int retrieveSettings(ChargerSettings& model) {
  const int status = model.retrieveSettings();
  if (status == kExitNoAnswer) exitProgram(status);
  return status;
}

int download(const std::string& path, const VregTable& settings) {
  if (path != "-") return writeSettingsFile(settings, path, std::cout, std::cerr);
  std::ostream document(documentOutput != nullptr ? documentOutput : std::cout.rdbuf());
  return writeSettingsDocument(settings, document, std::cout, std::cerr);
}

// A backup or a printout that lacks settings is still made, but ends with the retrieve's status
// and names what is missing: a script must not take it for a whole one.
void downloadOrPrint(const CommandLine& options, ChargerSettings& model, int retrieved) {
  if (options.has("download")) {
    const std::string path = options.text("download");
    int status = download(path, model.settings);
    if (status == 0 && retrieved != 0) {
      reportFailedSettings(model.settings, path, std::cerr);
      status = retrieved;
    }
    exitProgram(status);
  }
  if (options.has("get")) {
    model.printSettings();
    if (retrieved != 0) reportFailedSettings(model.settings, "", std::cerr);
    exitProgram(retrieved);
  }
}

// A model setter, called with the option's text (--table takes none).
using Change = std::function<int(ChargerSettings&, const std::string&)>;

struct CommandLineChange {
  const char* option;
  Change apply;
  const char* failure;
};

// Applied in this order, which is not the order of the option table: the factory table first, so
// that any voltage given with it turns the battery type back into a user-defined one.
const CommandLineChange commandLineChanges[] = {
    {"table", [](ChargerSettings& m, const std::string&) { return m.useFactoryTable(); },
     "Unable to use factory defined table"},
    {"sys", &ChargerSettings::setBatteryVoltage, "Unable to set battery voltage"},
    {"abs", &ChargerSettings::setAbsorptionVoltage, "Unable to set absorption voltage"},
    {"float", &ChargerSettings::setFloatVoltage, "Unable to set float voltage"},
    {"cellguard", &ChargerSettings::setCellGuardMode, "Unable to set cellguard mode"},
    {"eqv", &ChargerSettings::setEqualisationVoltage, "Unable to set equalisation voltage"},
    {"autoeq", &ChargerSettings::setAutoEqualise, "Unable to set auto equalise mode"},
    {"tempcomp", &ChargerSettings::setTemperatureCompensation,
     "Unable to set temperature compensation"},
    {"abslim", &ChargerSettings::setAbsorptionTimeLimit, "Unable to set absorption time limit"},
    {"current", &ChargerSettings::setCurrentLimit, "Unable to set charger current limit"},
};

// Each change stands on its own: one that is refused is reported and the others still apply.
// Returns whether any of them changed the settings.
bool applyCommandLineChanges(const CommandLine& options, ChargerSettings& model) {
  bool changed = false;
  for (const CommandLineChange& change : commandLineChanges) {
    if (!options.has(change.option)) continue;
    if (change.apply(model, options.text(change.option)) == 0)
      changed = true;
    else
      std::cerr << change.failure << std::endl;
  }
  return changed;
}

// The store's status decides the exit status: a store that failed must not end as a success for
// the scripts that call chgtune.
int storeAndPrint(ChargerSettings& model) {
  // Changes that in the end equal what was read store nothing: no charger off/on cycle for them.
  const int status = model.changedSinceRetrieve() ? model.storeSettings() : 0;
  model.printSettings();
  return status;
}

// The dump is off while the menu owns the console, so that line traffic does not garble the
// screen, and back on for the store. When standard input ends before x, nothing is stored: the
// user never confirmed the changes.
int runMenuAndStore(const CommandLine& options, ChargerSettings& model, QmxSerialDump& dump) {
  dump.disconnectDump();
  model.printSettings();
  bool changed = false;
  try {
    changed = runMainMenu(model);
  } catch (const input_ended&) {
    std::cout << std::endl;
    std::cerr << "Input ended before x was typed: the settings were not stored." << std::endl;
    exitProgram(kExitFailure);
  }
  if (options.has("dump")) dump.connectDump();
  return changed ? storeAndPrint(model) : 0;
}

[[noreturn]] void runOnLink(const CommandLine& options) {
  QmxSerial& link = *currentLink();
  QmxSerialDump dump(link, std::cout);
  if (options.has("dump")) dump.connectDump();
  if (options.has("serial")) link.start();
  ChargerSettings model(link);

  runOneShotCommand(options, model);
  const int retrieved = retrieveSettings(model);
  downloadOrPrint(options, model, retrieved);
  const int status = applyCommandLineChanges(options, model)
                         ? storeAndPrint(model)
                         : runMenuAndStore(options, model, dump);
  exitProgram(status);  // stops and closes the link on the way out
}

}  // namespace

void runChgtune(int argc, char* argv[]) {
  const CommandLine options = startUp(argc, argv);
  std::cout << std::endl;
  try {
    runOnLink(options);
  } catch (const interrupted& e) {
    // The store has switched the charger on again and said what it did not write.
    const int* status = boost::get_error_info<tag_exit_code>(e);
    exitProgram(status != nullptr ? *status : kExitFailure);
  } catch (...) {
    exitProgram(writeErrorBanner(std::current_exception(), std::cerr));
  }
}

}  // namespace sunlink
