// The run sequence. Each function below is one group of steps, called in order by runChgtune;
// the work itself is done by the subsystems they call.
#include "app/run.h"

#include <algorithm>
#include <boost/system/system_error.hpp>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/cli.h"
#include "app/error_banner.h"
#include "app/ignored_options.h"
#include "app/json_report.h"
#include "base/errors.h"
#include "base/exit_program.h"
#include "base/log.h"
#include "base/statuses.h"
#include "charger/charger_settings.h"
#include "charger/file_values.h"
#include "charger/settings_compare.h"
#include "charger/upload_check.h"
#include "console/console_session.h"
#include "console/menus.h"
#include "console/option_changes.h"
#include "console/printout.h"
#include "device/device_commands.h"
#include "device/discovery.h"
#include "device/scan.h"
#include "link/current_link.h"
#include "link/qmx_serial.h"
#include "link/qmx_serial_dump.h"
#include "platform/console.h"
#include "platform/serial_ports.h"
#include "platform/signals.h"
#include "protocol/text_parser.h"
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

// Help and version answer on standard output, whatever else the command line asks for.
bool asksHelpOrVersion(const CommandLine& options) {
  return options.has("help") || options.has("?") || options.has("version");
}

// Keeps the real standard output for the run's one document; from here on the program's own lines
// go to standard error.
std::streambuf* takeStandardOutput() { return std::cout.rdbuf(std::cerr.rdbuf()); }

void keepStandardOutputForTheDocument(const CommandLine& options) {
  if (asksHelpOrVersion(options) || !options.has("download") || options.text("download") != "-")
    return;
  writeStandardOutputUnchanged();
  documentOutput = takeStandardOutput();
}

// --- JSON output ------------------------------------------------------------------------------

// With --json the run's one JSON document goes to the real standard output, which then carries
// nothing else: the banner, the progress lines and everything else the run prints go to standard
// error. The document is written when the run ends, whichever way (exitProgram's report). Both
// null without --json.
std::unique_ptr<JsonReport> jsonReport;
std::streambuf* jsonOutput = nullptr;
// Set when the run ends with a status that is its answer rather than a failure: 1 (--compare found
// differences), 11 (--scan found no charger).
bool statusIsResult = false;

void keepStandardOutputForJson(const CommandLine& options) {
  if (asksHelpOrVersion(options) || !options.has("json")) return;
  jsonOutput = documentOutput != nullptr ? documentOutput : takeStandardOutput();
}

// The device commands, in the order in which the first one given wins (--upload, also one-shot,
// comes after them).
struct OneShotCommand {
  const char* option;
  int (*run)(QmxSerial& link, std::ostream& out, std::ostream& err);
};
const OneShotCommand oneShotCommands[] = {
    {"reset", resetToFactoryDefaults},
    {"erase", clearHistory},
    {"clock", [](QmxSerial& link, std::ostream& out,
                 std::ostream& err) { return setClock(link, out, err); }},
    {"switch-on", switchChargerOn},
    {"switch-off", switchChargerOff},
};

// --json goes with the paths that end in a result without a dialogue.
void checkJsonCombination(const CommandLine& options) {
  if (!options.has("json")) return;
  if (options.has("download") && options.text("download") == "-")
    throw std::runtime_error("--json and --download - cannot both write to standard output");
  if (options.has("scan") || options.has("compare")) return;
  for (const OneShotCommand& command : oneShotCommands) {
    if (options.has(command.option))
      throw std::runtime_error(
          "--json does not go with --reset, --erase, --clock, --switch-on or --switch-off");
  }
  bool result = options.has("get") || options.has("download") || options.has("upload");
  for (const char* option : settingOptions) result = result || options.has(option);
  if (!result) {
    throw std::runtime_error(
        "--json needs --get, --download, --upload, --compare, --scan or a setting to change "
        "(there is no menu with --json)");
  }
}

const char* statusText(int status) {
  static const std::pair<int, const char*> kTexts[] = {
      {kExitNoAnswer, "the charger does not answer"},
      {kExitCloseFailed, "closing the serial port failed"},
      {kExitNoCharger, "Unable to detect a MPPT charger."},
      {kExitRefused, "the charger refused a request or gave no device id"},
      {kExitFileNotXml, "the settings file is not readable XML"},
      {kExitNotApplication, "the device is not running its application firmware"},
      {kExitNotCharger, "the device is not an MPPT charger"},
      {kExitReadFailed, "reading settings failed"},
      {kExitWriteFailed, "storing or writing settings failed"},
  };
  for (const auto& [code, text] : kTexts) {
    if (code == status) return text;
  }
  return status > exitStatusForRequest(0) && status < exitStatusForRequest(32) ? "interrupted"
                                                                               : "failed";
}

void writeJsonReport(int status) {
  try {
    if (status != kExitOk && !statusIsResult) jsonReport->setError(statusText(status));
    std::ostream document(jsonOutput);
    jsonReport->write(document);
  } catch (...) {
    // Standard output that cannot be written is reported by exitProgram.
  }
}

void createJsonReport() {
  jsonReport = std::make_unique<JsonReport>();
  setExitReport(&writeJsonReport);
}

// A combination refused here is a command-line error like any other: with --json it is told in
// the document.
void startJsonReport(const CommandLine& options) {
  if (jsonOutput != nullptr) createJsonReport();
  checkJsonCombination(options);
  const std::string dryRun = misplacedDryRun(options);
  if (!dryRun.empty()) throw std::runtime_error(dryRun);
}

// A command line that cannot be parsed still answers --json with a document carrying the options
// library's message: a script that asked for JSON reads every answer as JSON. The option is
// looked for among the arguments as given, up to "--" (after it nothing is an option).
void keepStandardOutputForJsonError(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--") return;
    if (argument != "--json") continue;
    jsonOutput = takeStandardOutput();
    createJsonReport();
    return;
  }
}

// What ended the run, for the document's "error".
void noteFailure(const std::string& text) {
  if (jsonReport) jsonReport->setError(text);
}

std::string failureText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const boost::exception& e) {
    if (const std::string* what = boost::get_error_info<tag_what>(e)) return *what;
    if (const auto* standard = dynamic_cast<const std::exception*>(&e)) return standard->what();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unknown exception";
}

// A status that answers the run's question ends it without an error in the document.
[[noreturn]] void exitWithResult(int status) {
  statusIsResult = true;
  exitProgram(status);
}

// --- The banner, the options, the link -----------------------------------------------------------

// The banner comes before anything else, on the stream the options choose; a command line that
// cannot be parsed still gets it before the library's message (with --json, on standard error).
CommandLine parseOptions(int argc, char* argv[]) {
  std::unique_ptr<CommandLine> options;
  try {
    options = std::make_unique<CommandLine>(argc, argv);
  } catch (...) {
    keepStandardOutputForJsonError(argc, argv);
    printBanner();
    throw;
  }
  keepStandardOutputForTheDocument(*options);
  keepStandardOutputForJson(*options);
  printBanner();
  return *options;
}

// --help (or -?) wins over --version; both end the run before anything is opened.
void answerHelpOrVersion(const CommandLine& options) {
  if (options.has("help") || options.has("?")) {
    printHelp(std::cout);
    std::cout << std::endl;
    exitProgram(kExitOk);
  }
  if (options.has("version")) {
    std::cout << "VERSION: " << programVersion << " (build " << __DATE__ << ")" << std::endl;
    exitProgram(kExitOk);
  }
}

void startLogging(const CommandLine& options) {
  logVerbosity = options.has("verbose") ? LOG_INFO : LOG_ERROR;
  logInfo("chgtune", "start");
}

// Before anything is opened: the user learns at once which of the options given this run leaves
// aside.
void reportIgnoredOptions(const CommandLine& options) {
  for (const std::string& line : ignoredOptionLines(options)) std::cerr << line << '\n';
  std::cerr << std::flush;
}

// The port named with --serial is opened as given and started later, after the dump is attached,
// so that the dump shows the start-up traffic too. Discovery hands over a link already running.
void obtainLink(const CommandLine& options) {
  if (options.has("serial")) {
    try {
      setCurrentLink(std::make_unique<QmxSerial>(options.text("serial")));
    } catch (const boost::system::system_error& e) {
      std::cerr << e.what() << std::endl;
      noteFailure(e.what());
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

// --scan: every port probed as discovery probes it (only the one named with --serial), none kept,
// nothing written; one line per MPPT charger found. 0 when there was one; when there was none, 11
// only if every port was probed: a port that could not be (busy, no permission) may hold the
// charger a script is looking for, so that ends with -1.
[[noreturn]] void scanForChargers(const CommandLine& options) {
  const std::vector<std::string> ports =
      options.has("serial") ? std::vector<std::string>{options.text("serial")} : listSerialPorts();
  // The "Checking: ..." lines are progress: standard output carries only the chargers found.
  const ScanResult scan = scanPorts(ports, options.has("quiet"), ExchangeTimeouts(), std::cerr);
  if (jsonReport) {
    jsonReport->setChargers(scan.chargers);
    jsonReport->setPorts(scan.ports);
  } else {
    for (const ScannedCharger& charger : scan.chargers) std::cout << scanLine(charger) << '\n';
  }
  if (!scan.chargers.empty()) exitWithResult(kExitOk);
  std::string notProbed;
  for (const ScannedPort& port : scan.ports) {
    if (!port.failure.empty()) notProbed += (notProbed.empty() ? "" : ", ") + port.port;
  }
  if (notProbed.empty()) {
    std::cerr << "Unable to detect a MPPT charger." << std::endl;
    exitWithResult(kExitNoCharger);
  }
  const std::string message = "No MPPT charger found; not probed: " + notProbed;
  std::cerr << message << std::endl;
  noteFailure(message);
  exitProgram(kExitFailure);
}

// Until the link exists a failure is the user's to mend (a mistyped option, a wrong port name):
// only its message is shown, without the ERROR banner.
CommandLine startUp(int argc, char* argv[]) {
  try {
    startClockAndLog();
    const CommandLine options = parseOptions(argc, argv);
    answerHelpOrVersion(options);
    startJsonReport(options);
    startLogging(options);
    reportIgnoredOptions(options);
    if (options.has("scan")) scanForChargers(options);
    obtainLink(options);
    return options;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    noteFailure(e.what());
  } catch (...) {
    std::cerr << "Unknown exception" << std::endl;
  }
  exitProgram(kExitFailure);
}

// --- On the link: one path, then the end ---------------------------------------------------------

// The system voltage the settings give, for the document's charger.
void reportSystemVoltage(ChargerSettings& model) {
  // A list read from a file carries whatever labels it has; without these there is no voltage.
  const VregTable& settings = model.settings;
  if (settings.contains("battery_voltage") && settings.contains("absorption_voltage") &&
      settings.contains("float_voltage"))
    jsonReport->setSystemVoltage(model.systemVoltage());
}

void reportSettings(ChargerSettings& model) {
  jsonReport->setCharger(model.capabilities);  // a store may have switched the charger since
  jsonReport->setSettings(model.settings, model.capabilities);
  reportSystemVoltage(model);
}

// The printout, or with --json the settings in the document instead.
void showSettings(ChargerSettings& model) {
  if (jsonReport)
    reportSettings(model);
  else
    printSettings(model, std::cout);
}

// Refusals and notes of an upload's checks, on standard error. 0 when the upload may go ahead;
// else 94, and nothing has been written: the charger has not even been switched off.
int refuseHarmfulUpload(const UploadPlan& plan) {
  for (const std::string& note : plan.notes) std::cerr << note << std::endl;
  for (const std::string& skipped : plan.skipped) std::cerr << skipped << std::endl;
  if (plan.refusals.empty()) return kExitOk;
  for (const std::string& refusal : plan.refusals) std::cerr << refusal << std::endl;
  std::cerr << "Upload refused: nothing was written to the charger." << std::endl;
  noteFailure("upload refused: " + plan.refusals.front());
  return kExitReadFailed;
}

// The store of the settings that differ from the charger's (with --dry-run only their report),
// listed in the document too.
int store(const CommandLine& options, ChargerSettings& model) {
  const bool dryRun = options.has("dry-run");
  const int status = model.storeSettings(std::cout, std::cerr, dryRun);
  if (jsonReport) jsonReport->setWrites(model.storeWrites(), dryRun);
  return status;
}

// --upload: the whole file is read and checked on its own first; then the charger's settings are
// retrieved, so that the file is judged against what this charger has and holds; only then is
// anything written. A setting whose read failed is written from the file all the same (the file
// holds what the user wants there), and named.
[[noreturn]] void upload(const CommandLine& options, ChargerSettings& model) {
  VregTable file;
  int status = readSettingsFile(file, options.text("upload"), std::cout, std::cerr, &std::cin);
  if (status != kExitOk) exitProgram(status);
  status = model.retrieveSettings(std::cout);
  if (status == kExitNoAnswer || status == kExitNotApplication) exitProgram(status);
  if (status != kExitOk) reportFailedSettings(model.settings, "", std::cerr);
  UploadPlan plan = planUpload(file, model, options.has("force"));
  // After the plan, which marks what is skipped: only values that would be written are judged.
  for (std::string& refusal : valueRefusals(file, model.capabilities))
    plan.refusals.push_back(std::move(refusal));
  status = refuseHarmfulUpload(plan);
  if (status == kExitOk) {
    model.settings = file;  // after the retrieve, whose values the store compares with
    status = store(options, model);
  }
  if (jsonReport) reportSettings(model);
  exitProgram(status);
}

// The first one-shot command given runs and ends the program with its result; the others are
// ignored. Returns only when none was given.
void runOneShotCommand(const CommandLine& options, ChargerSettings& model) {
  QmxSerial& link = *model.link;
  for (const OneShotCommand& command : oneShotCommands) {
    if (options.has(command.option)) exitProgram(command.run(link, std::cout, std::cerr));
  }
  if (options.has("upload")) upload(options, model);
}

// A charger that answers neither ping nor device id has nothing to show or change: the run ends
// with that status (3) rather than pretending success. Otherwise the retrieve's status (94 when
// some settings could not be read).
int retrieveSettings(ChargerSettings& model) {
  const int status = model.retrieveSettings(std::cout);
  if (status == kExitNoAnswer) exitProgram(status);
  return status;
}

// The serial number a TEXT block of this run carried, for the identity a download records; empty
// when none came.
std::string serialNumber(const TextDictionary* text) {
  QmxValue serial;
  return text != nullptr && text->lookup("SER#", serial) ? serial.value : std::string();
}

int download(const std::string& path, const VregTable& settings) {
  if (path != "-") return writeSettingsFile(settings, path, std::cout, std::cerr);
  std::ostream document(documentOutput != nullptr ? documentOutput : std::cout.rdbuf());
  return writeSettingsDocument(settings, document, std::cout, std::cerr);
}

// A backup or a printout that lacks settings is still made, but ends with the retrieve's status
// and names what is missing: a script must not take it for a whole one.
void downloadOrPrint(const CommandLine& options, ChargerSettings& model, int retrieved,
                     const TextDictionary* text) {
  if (options.has("download")) {
    const std::string path = options.text("download");
    VregTable backup = model.settings;
    backup.identity = chargerIdentity(model, serialNumber(text), programVersion);
    int status = download(path, backup);
    if (jsonReport) reportSettings(model);
    if (status == kExitOk && retrieved != kExitOk) {
      reportFailedSettings(model.settings, path, std::cerr);
      status = retrieved;
    }
    exitProgram(status);
  }
  if (options.has("get")) {
    showSettings(model);
    if (retrieved != kExitOk) reportFailedSettings(model.settings, "", std::cerr);
    exitProgram(retrieved);
  }
}

// What the options did: whether any was accepted, and the ones that were not, in table order.
struct CommandLineOutcome {
  bool changed = false;
  std::vector<const OptionChange*> refused;
};

// The options whose values the float-above-absorption rule judges.
bool setsChargePair(const OptionChange& change) {
  return std::string(change.option) == "abs" || std::string(change.option) == "float";
}

// Applies one option; a refusal is reported with the option's message.
bool applyChange(const OptionChange& change, const CommandLine& options, ChargerSettings& model) {
  SettingSetters setters(model);
  return applyOptionChange(change, setters, options.text(change.option), std::cerr);
}

void putBackValues(VregTable& settings, const std::vector<std::string>& values) {
  std::size_t i = 0;
  for (Vreg& vreg : settings.vregs()) vreg.value = values[i++];
}

// The float voltage may not exceed the absorption voltage, judged on the values as they will be
// stored. When the --abs or --float given (and accepted) break the rule, each of them is refused:
// the values go back to what they were before the first of them, and the accepted changes after
// it are made again on those.
void refuseChargePairAboveAbsorption(const CommandLine& options, ChargerSettings& model,
                                     const std::vector<std::string>& beforePair,
                                     std::vector<const OptionChange*>& accepted,
                                     CommandLineOutcome& outcome) {
  const bool pairGiven = std::any_of(accepted.begin(), accepted.end(),
                                     [](const OptionChange* c) { return setsChargePair(*c); });
  const std::optional<std::string> conflict = model.chargeVoltageConflict();
  if (!pairGiven || !conflict) return;
  writeComplaint(std::cerr, *conflict);
  putBackValues(model.settings, beforePair);
  const OptionChange* const pairStart = *std::find_if(
      accepted.begin(), accepted.end(), [](const OptionChange* c) { return setsChargePair(*c); });
  std::vector<const OptionChange*> kept;
  for (const OptionChange* change : accepted) {
    if (setsChargePair(*change)) {
      std::cerr << change->failure << std::endl;
      outcome.refused.push_back(change);
    } else if (change < pairStart || applyChange(*change, options, model)) {
      kept.push_back(change);
    } else {
      outcome.refused.push_back(change);
    }
  }
  accepted = kept;
}

// Each change stands on its own: one that is refused is reported and the others still apply.
CommandLineOutcome applyCommandLineChanges(const CommandLine& options, ChargerSettings& model) {
  CommandLineOutcome outcome;
  std::vector<const OptionChange*> accepted;
  std::vector<std::string> beforePair;
  for (const OptionChange& change : optionChanges()) {
    if (!options.has(change.option)) continue;
    if (setsChargePair(change) && beforePair.empty()) beforePair = model.values();
    if (applyChange(change, options, model))
      accepted.push_back(&change);
    else
      outcome.refused.push_back(&change);
  }
  refuseChargePairAboveAbsorption(options, model, beforePair, accepted, outcome);
  std::sort(outcome.refused.begin(), outcome.refused.end());
  outcome.changed = !accepted.empty();
  return outcome;
}

// After a store of the accepted options: the ones refused, named once more below the printout so
// that neither a person nor a script takes the run for a whole success.
void reportRefusedOptions(const CommandLineOutcome& outcome) {
  std::string names;
  for (const OptionChange* change : outcome.refused)
    names += (names.empty() ? "--" : ", --") + std::string(change->option);
  std::cerr << "Options not applied: " << names << std::endl;
  noteFailure("options not applied: " + names);
}

// The store's status decides the exit status: a store that failed must not end as a success for
// the scripts that call chgtune. Changes that in the end equal what was read store nothing: no
// charger off/on cycle for them.
int storeAndPrint(const CommandLine& options, ChargerSettings& model) {
  const int status = store(options, model);
  showSettings(model);
  return status;
}

// The dump is off while the menu owns the console, so that line traffic does not garble the
// screen, and back on for the store. When standard input ends before x, nothing is stored: the
// user never confirmed the changes.
int runMenuAndStore(const CommandLine& options, ChargerSettings& model, QmxSerialDump& dump) {
  dump.disconnectDump();
  printSettings(model, std::cout);
  bool changed = false;
  try {
    ConsoleSession console(model);
    changed = runMainMenu(console);
  } catch (const input_ended&) {
    std::cout << std::endl;
    std::cerr << "Input ended before x was typed: the settings were not stored." << std::endl;
    exitProgram(kExitFailure);
  }
  if (options.has("dump")) dump.connectDump();
  return changed ? storeAndPrint(options, model) : 0;
}

// --compare: the file is read as --upload reads it and the settings are retrieved as --get
// retrieves them; nothing is written to the charger. 0 when the charger holds every setting that an
// upload of the file would write, 1 when one differs or the charger lacks it, 94 when one could not
// be read; a file that cannot be read, or a charger that does not answer, ends with its status.
[[noreturn]] void compareWithFile(const std::string& path, ChargerSettings& model) {
  VregTable file;
  const int read = readSettingsFile(file, path, std::cout, std::cerr, &std::cin);
  if (read != kExitOk) {
    if (read == kExitReadFailed) noteFailure("Reading settings failed: " + path);
    exitProgram(read);
  }
  fitFileValues(file);  // compared as an upload would write them
  const int retrieved = retrieveSettings(model);
  const std::vector<SettingDifference> differences = compareSettings(file, model.settings);
  // A setting that only the charger has and could not be read leaves the comparison whole.
  const int status = comparisonStatus(differences);
  if (jsonReport) {
    reportSystemVoltage(model);
    jsonReport->setDifferences(differences);
  } else {
    printDifferences(differences, std::cout);
    printClosingLine(status, path, std::cout);
    std::cout << std::flush;
  }
  if (retrieved != kExitOk) reportFailedSettings(model.settings, "", std::cerr);
  if (retrieved != kExitOk && retrieved != kExitReadFailed) exitProgram(retrieved);
  if (status == kExitReadFailed) exitProgram(status);
  exitWithResult(status);
}

[[noreturn]] void runOnLink(const CommandLine& options) {
  QmxSerial& link = *currentLink();
  QmxSerialDump dump(link, std::cout);
  if (options.has("dump")) dump.connectDump();
  // A download records the charger's serial number when one of its TEXT blocks carries it.
  TextDictionary text;
  std::optional<QmxGetParser> textParser;
  if (options.has("download")) textParser.emplace(link, text);
  if (options.has("serial")) link.start();
  ChargerSettings model(link);
  if (jsonReport) jsonReport->setCharger(model.capabilities);

  // Before every path that writes: --compare never does.
  if (options.has("compare")) compareWithFile(options.text("compare"), model);
  runOneShotCommand(options, model);
  const int retrieved = retrieveSettings(model);
  downloadOrPrint(options, model, retrieved, &text);
  const CommandLineOutcome outcome = applyCommandLineChanges(options, model);
  const bool changed = outcome.changed;
  if (!changed && jsonReport) {
    // No menu under --json: its dialogue would go where the document's reader cannot answer.
    reportSettings(model);
    noteFailure("no setting was changed");
    exitProgram(kExitFailure);
  }
  int status = changed ? storeAndPrint(options, model) : runMenuAndStore(options, model, dump);
  if (changed && !outcome.refused.empty()) {
    reportRefusedOptions(outcome);
    if (status == kExitOk) status = kExitFailure;
  }
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
    noteFailure(failureText(std::current_exception()));
    exitProgram(writeErrorBanner(std::current_exception(), std::cerr));
  }
}

}  // namespace sunlink
