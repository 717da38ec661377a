#include "app/run_output.h"

#include <chrono>
#include <utility>

#include "app/watch_sinks.h"
#include "base/statuses.h"
#include "platform/console.h"

namespace sunlink {

namespace {

// Help and version answer on standard output, whatever else the command line asks for.
bool asksHelpOrVersion(const CommandLine& options) {
  return options.has("help") || options.has("?") || options.has("version");
}

// The document's "error" for a run that ended with status without naming its failure itself.
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

}  // namespace

RunOutput::RunOutput(std::istream& in, std::ostream& out, std::ostream& err)
    : in_(in), out_(out), err_(err) {}

void RunOutput::route(const CommandLine& options) {
  if (asksHelpOrVersion(options)) return;
  if (options.has("download") && options.text("download") == "-") {
    writeStandardOutputUnchanged();
    taken_ = true;
  }
  // The watch's output alone goes to standard output, where a script or a log reads it.
  if (options.has("watch")) {
    taken_ = true;
    watchJson_ = options.has("json");
    return;
  }
  if (options.has("json")) {
    taken_ = true;
    report_ = std::make_unique<JsonReport>();
  }
}

void RunOutput::routeUnparsed(int argc, const char* const argv[]) {
  bool json = false;
  bool watch = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--") break;
    json = json || argument == "--json";
    watch = watch || argument == "--watch";
  }
  taken_ = json || watch;
  watchJson_ = json && watch;
  if (json && !watch) report_ = std::make_unique<JsonReport>();
}

void RunOutput::noteFailure(const std::string& text) {
  if (failure_.empty()) failure_ = text;
  if (report_) report_->setError(text);
}

int RunOutput::answer(int status) {
  statusIsAnswer_ = true;
  return status;
}

void RunOutput::writeReport(int status) {
  if (watchJson_) {
    if (status == kExitOk || statusIsAnswer_) return;
    try {
      const std::string error = failure_.empty() ? statusText(status) : failure_;
      out_ << watchErrorLine(error, std::chrono::system_clock::now()) << std::endl;
    } catch (...) {
      // As for the document.
    }
    return;
  }
  if (!report_) return;
  try {
    if (status != kExitOk && !statusIsAnswer_) report_->setError(statusText(status));
    report_->write(out_);
  } catch (...) {
    // Told when the program ends, which checks standard output.
  }
}

}  // namespace sunlink
