// RunOutput: where the output of one run goes.
//
// Standard output normally carries the program's own lines: the banner, progress, printouts, the
// menus and the dump. A run that writes a document there (the settings with "--download -", the
// JSON report with --json) takes standard output for that document alone, and its own lines go to
// standard error instead, so that "chgtune -s P --download - > backup.xml" gives a loadable file,
// the same bytes as a download to a file.
//
// With --json the run's one JSON document is filled as the run goes and written when it ends,
// whichever way it ends. A watch (--watch) takes standard output for its own output and writes no
// document: with --json its output is JSON Lines, and a watch that fails ends them with one line
// {"time": ..., "error": ...}. Refers to the caller's streams, which must outlive it; owns the
// report. Main thread only.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "app/cli.h"
#include "app/json_report.h"

namespace sunlink {

class RunOutput {
 public:
  RunOutput(std::istream& in, std::ostream& out, std::ostream& err);
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;

  // Takes standard output for the document the options ask for, and starts the JSON report with
  // --json. --help and --version answer on standard output whatever else is given.
  void route(const CommandLine& options);
  // For a command line that cannot be parsed: --json among the arguments as given (up to "--",
  // after which nothing is an option) still gets a document, carrying the options library's
  // message, so that a script that asked for JSON reads every answer as JSON.
  void routeUnparsed(int argc, const char* const argv[]);

  std::istream& in() { return in_; }
  // The program's own lines: standard output, or standard error once a document has taken it.
  std::ostream& lines() { return taken_ ? err_ : out_; }
  std::ostream& err() { return err_; }
  // Standard output, for the document.
  std::ostream& document() { return out_; }

  // The JSON report; null without --json.
  JsonReport* report() { return report_.get(); }
  // What ended the run, for the document's "error" or the watch's last line (the first one noted
  // is kept).
  void noteFailure(const std::string& text);
  // Marks status as the answer to the run's question rather than a failure (1: --compare found a
  // difference; 11: --scan found no charger), so that the document carries no error for it.
  // Returns status.
  int answer(int status);
  // Writes the JSON document, if any, for the status the run ends with (for a watch with --json
  // that failed, its error line). Standard output that cannot be written is told when the program
  // ends; this never throws.
  void writeReport(int status);

 private:
  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool taken_ = false;
  std::unique_ptr<JsonReport> report_;
  bool watchJson_ = false;  // --watch --json: an error line instead of the document
  std::string failure_;     // the first failure noted
  bool statusIsAnswer_ = false;
};

}  // namespace sunlink
