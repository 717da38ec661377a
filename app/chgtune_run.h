// ChgtuneRun: what one run of chgtune holds from its start to its end: the options, where its
// output goes (RunOutput, with the JSON report), and the link to the charger with what listens to
// it (the dump, and the TEXT identity a download records).
//
// Owns all of it; the streams and time-outs come from the caller (RunEnvironment) and must outlive
// the run. end() lets go of the link: it is stopped (port closed, reader joined) before it is
// destroyed. Main thread only.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/run_output.h"
#include "link/exchange_timeouts.h"
#include "link/qmx_serial.h"
#include "link/qmx_serial_dump.h"
#include "protocol/text_parser.h"

namespace sunlink {

// What a run takes from whoever runs it: the program passes its standard streams and the
// exchange time-outs of a real line; a caller that runs it in the same process may pass its own.
struct RunEnvironment {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // For every link of the run: the HEX exchanges, quiet discovery's and the watch's waits.
  ExchangeTimeouts timeouts;
  // Told of the run's link as the run takes it, before the run sends anything on it; none for the
  // program. A caller that runs it in the same process may connect to the link's signals here
  // (txSignal runs on the requesting thread: a slot may give the next exchanges other time-outs).
  std::function<void(QmxSerial& link)> linkTaken;
  // Whether out is a terminal, where the watch redraws its panel in place.
  bool outIsTerminal = false;
  // The ports the watch's discovery probes; unset: the machine's serial ports (listSerialPorts).
  std::function<std::vector<std::string>()> serialPorts = nullptr;
};

class ChgtuneRun {
 public:
  explicit ChgtuneRun(const RunEnvironment& environment);
  ~ChgtuneRun();
  ChgtuneRun(const ChgtuneRun&) = delete;
  ChgtuneRun& operator=(const ChgtuneRun&) = delete;

  // Parses the command line and routes the output as it asks. Throws the options library's error
  // for a command line it refuses, with nothing routed.
  void parseOptions(int argc, const char* const argv[]);
  // The options; only once parseOptions has succeeded.
  const CommandLine& options() const { return *options_; }
  RunOutput& output() { return output_; }
  const ExchangeTimeouts& timeouts() const { return timeouts_; }
  bool outIsTerminal() const { return outIsTerminal_; }
  std::vector<std::string> serialPorts() const;

  // Takes the link of this run: one opened for --serial (not running yet) or one discovery found
  // (running). Tells the environment's linkTaken of it.
  void adoptLink(std::unique_ptr<QmxSerial> link, bool running);
  // Attaches the dump (connected with --dump) and, for a download, the recording of the charger's
  // TEXT identity, then starts the link unless it runs already: so with --serial the dump shows
  // the start-up traffic too.
  void startLink();
  QmxSerial& link() { return *link_; }
  QmxSerialDump& dump() { return *dump_; }
  // The serial number a TEXT block of this run carried, for the identity a download records;
  // empty when none came.
  std::string serialNumber() const;

  // The run's end: the JSON document for status, then the link stopped and destroyed. Returns the
  // status the program ends with: status, or 10 when closing the link failed.
  int end(int status);

 private:
  // Stops and destroys the link; false when stopping it failed.
  bool closeLink();

  const ExchangeTimeouts timeouts_;
  const std::function<void(QmxSerial&)> linkTaken_;
  const bool outIsTerminal_;
  const std::function<std::vector<std::string>()> serialPorts_;
  RunOutput output_;
  std::optional<CommandLine> options_;
  // The listeners go after the link (they are declared before it): closing the link cuts their
  // connections, so they end quietly, without logging a disconnection of their own.
  TextDictionary textIdentity_;
  std::optional<QmxGetParser> textParser_;
  std::unique_ptr<QmxSerialDump> dump_;
  std::unique_ptr<QmxSerial> link_;
  bool linkRunning_ = false;
};

}  // namespace sunlink
