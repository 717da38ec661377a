// The run sequence. Each function below is one group of steps, called in order by runChgtune;
// the paths are operations of their own (app/*_operation), and the work itself is done by the
// subsystems they call.
#include "app/run.h"

#include <boost/exception/get_error_info.hpp>
#include <boost/system/system_error.hpp>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/change_operation.h"
#include "app/cli.h"
#include "app/command_operation.h"
#include "app/compare_operation.h"
#include "app/download_operation.h"
#include "app/error_banner.h"
#include "app/get_operation.h"
#include "app/ignored_options.h"
#include "app/scan_operation.h"
#include "app/upload_operation.h"
#include "app/version.h"
#include "app/watch_operation.h"
#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "charger/charger_settings.h"
#include "device/capabilities.h"
#include "device/discovery.h"
#include "platform/console.h"
#include "platform/signals.h"

namespace sunlink {

namespace {

// --- Start-up: banner, options, the link --------------------------------------------------------

void printBanner(std::ostream& out) { out << "SunLink chgtune " << programVersion << std::endl; }

// The banner comes before anything else, on the stream the options choose; a command line that
// cannot be parsed still gets it before the library's message (with --json, on standard error).
void parseOptions(ChgtuneRun& run, int argc, const char* const argv[]) {
  try {
    run.parseOptions(argc, argv);
  } catch (...) {
    run.output().routeUnparsed(argc, argv);
    printBanner(run.output().lines());
    throw;
  }
  printBanner(run.output().lines());
}

// --help (or -?) wins over --version; both end the run before anything is opened.
std::optional<int> answerHelpOrVersion(ChgtuneRun& run) {
  const CommandLine& options = run.options();
  std::ostream& out = run.output().lines();
  if (options.has("help") || options.has("?")) {
    printHelp(out);
    out << std::endl;
    return kExitOk;
  }
  if (options.has("version")) {
    out << "VERSION: " << programVersion << " (build " << __DATE__ << ")" << std::endl;
    return kExitOk;
  }
  return std::nullopt;
}

// A combination refused here is a command-line error like any other: with --json it is told in
// the document.
void refuseMisplacedOptions(const CommandLine& options) {
  for (const std::string& misplaced :
       {misplacedWatch(options), misplacedJson(options), misplacedDryRun(options)}) {
    if (!misplaced.empty()) throw std::runtime_error(misplaced);
  }
}

void startLogging(const CommandLine& options) {
  logVerbosity = options.has("verbose") ? LOG_INFO : LOG_ERROR;
  logInfo("chgtune", "start");
}

// Before anything is opened: the user learns at once which of the options given this run leaves
// aside.
void reportIgnoredOptions(ChgtuneRun& run) {
  std::ostream& err = run.output().err();
  for (const std::string& line : ignoredOptionLines(run.options())) err << line << '\n';
  err << std::flush;
}

// The port named with --serial is opened as given and started later, after the dump is attached,
// so that the dump shows the start-up traffic too. Discovery hands over a link already running.
// None when the run has its link; else the status it ends with.
std::optional<int> obtainLink(ChgtuneRun& run) {
  const CommandLine& options = run.options();
  RunOutput& output = run.output();
  if (options.has("serial")) {
    try {
      auto link = std::make_unique<QmxSerial>(options.text("serial"));
      link->timeouts = run.timeouts();
      run.adoptLink(std::move(link), false);
    } catch (const boost::system::system_error& e) {
      output.err() << e.what() << std::endl;
      output.noteFailure(e.what());
      if (e.code() == boost::system::errc::permission_denied)
        hintPortPermission(options.text("serial"), output.err());
      return kExitFailure;
    }
    return std::nullopt;
  }
  std::string portName;
  std::unique_ptr<QmxSerial> link =
      locateDevice(portName, options.has("quiet"), run.timeouts(), output.lines());
  if (!link) {
    output.err() << "Unable to detect a MPPT charger." << std::endl;
    return kExitNoCharger;
  }
  run.adoptLink(std::move(link), true);
  return std::nullopt;
}

// Until the link exists a failure is the user's to mend (a mistyped option, a wrong port name):
// only its message is shown, without the ERROR banner. None when the run goes on to its link;
// else the status it ends with.
std::optional<int> startUp(ChgtuneRun& run, int argc, const char* const argv[]) {
  try {
    parseOptions(run, argc, argv);
    if (std::optional<int> answered = answerHelpOrVersion(run)) return answered;
    refuseMisplacedOptions(run.options());
    startLogging(run.options());
    reportIgnoredOptions(run);
    if (run.options().has("scan")) return scanForChargers(run);
    // The watch opens its port (and opens it again after an unplugged adapter) itself.
    if (run.options().has("watch")) return watchCharger(run);
    return obtainLink(run);
  } catch (const std::exception& e) {
    run.output().err() << e.what() << std::endl;
    run.output().noteFailure(e.what());
  } catch (...) {
    run.output().err() << "Unknown exception" << std::endl;
  }
  return kExitFailure;
}

// --- On the link: identification, then one path -------------------------------------------------

// The paths on an identified charger, in the order in which the first one given wins.
struct ChargerPath {
  bool (*chosen)(const CommandLine& options);
  int (*perform)(ChgtuneRun& run, ChargerSettings& model);
};

const ChargerPath chargerPaths[] = {
    // Before every path that writes: --compare never does.
    {[](const CommandLine& o) { return o.has("compare"); }, compareWithFile},
    {asksDeviceCommand, runDeviceCommand},
    {[](const CommandLine& o) { return o.has("upload"); }, uploadFile},
    {[](const CommandLine& o) { return o.has("download"); }, downloadSettings},
    {[](const CommandLine& o) { return o.has("get"); }, getSettings},
    // Without any of them: the changes the options give, or the menu.
    {[](const CommandLine&) { return true; }, changeSettings},
};

// Builds the charger's settings model from what identification found, on the run's streams, and
// runs the path the options choose.
int onCharger(ChgtuneRun& run, const Capabilities& capabilities) {
  ChargerSettings model(capabilities, &run.link());
  RunOutput& output = run.output();
  if (JsonReport* report = output.report()) report->setCharger(model.capabilities);
  for (const ChargerPath& path : chargerPaths) {
    if (path.chosen(run.options())) return path.perform(run, model);
  }
  return kExitOk;
}

// The status a failure that ends the run without the ERROR banner carries: a path that already
// told why (run_ended), or a store the user interrupted, which has switched the charger on again
// and said what it did not write (interrupted).
int carriedStatus(const boost::exception& e) {
  const int* status = boost::get_error_info<tag_exit_code>(e);
  return status != nullptr ? *status : kExitFailure;
}

// From here on a failure is shown in the ERROR banner.
int onLink(ChgtuneRun& run) {
  try {
    run.startLink();
    // A device that does not answer, does not run its application firmware or is not an MPPT
    // charger ends the run here with that status, its reason logged.
    Capabilities capabilities;
    const int identified = identifyCharger(capabilities, run.link());
    if (identified != kExitOk) return identified;
    return onCharger(run, capabilities);
  } catch (const run_ended& e) {
    return carriedStatus(e);
  } catch (const interrupted& e) {
    return carriedStatus(e);
  } catch (...) {
    run.output().noteFailure(failureText(std::current_exception()));
    return writeErrorBanner(std::current_exception(), run.output().err());
  }
}

}  // namespace

int runChgtune(int argc, const char* const argv[], const RunEnvironment& environment) {
  ChgtuneRun run(environment);
  std::optional<int> status = startUp(run, argc, argv);
  if (!status) {
    run.output().lines() << std::endl;
    status = onLink(run);
  }
  // The JSON document, then the link closed; the program's exit follows.
  return run.end(*status);
}

int runChgtune(int argc, char* argv[]) {
  // Termination requests are taken away from every thread before the first one (the reader of a
  // link) starts, so that the watching thread alone receives them.
  watchTerminationRequests();
  setLogMode(LogMode());  // direct mode: every shown line goes to standard error at once
  startClock();
  RunEnvironment environment{std::cin, std::cout, std::cerr, ExchangeTimeouts(), nullptr};
  environment.outIsTerminal = standardOutputIsTerminal();
  return runChgtune(argc, argv, environment);
}

}  // namespace sunlink
