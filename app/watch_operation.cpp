#include "app/watch_operation.h"

#include <algorithm>
#include <boost/system/system_error.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/live_feed.h"
#include "app/watch_sinks.h"
#include "base/log.h"
#include "base/statuses.h"
#include "device/capabilities.h"
#include "device/discovery.h"
#include "link/qmx_serial.h"
#include "link/qmx_serial_dump.h"
#include "platform/signals.h"
#include "platform/stable_port_name.h"

namespace sunlink {

namespace {

using Clock = std::chrono::steady_clock;

const char* const kCategory = "watch";

// "5 s", "0.25 s": a wait as the messages name it.
std::string secondsText(std::chrono::milliseconds wait) {
  char text[32];
  if (wait.count() % 1000 == 0)
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(wait.count() / 1000));
  else
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000.0);
  return text;
}

// The identity labels of a block, kept as the latest of each (a block may lack some of them).
void noteIdentity(WatchedCharger& charger, const LiveValues& values) {
  if (values.productId && values.productId != charger.productId) {
    charger.productId = values.productId;
    charger.model = lookupProductName(*values.productId).value_or("");
  }
  if (values.firmware) charger.firmware = firmwareText(*values.firmware);
  if (values.serial) charger.serial = *values.serial;
}

// One watch: its port, the link open on it (none while the port is away), the feed of blocks and
// the outputs. Owns them all; the link is stopped before it is let go of. Main thread only, but
// for the end request, which comes from the termination requests' watcher through the feed.
class Watch {
 public:
  Watch(ChgtuneRun& run, WatchSinks sinks)
      : run_(run),
        options_(run.options()),
        err_(run.output().err()),
        timeouts_(run.timeouts().watch),
        sinks_(std::move(sinks)) {}
  ~Watch() { closeLink(); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  // Opens the port named with --serial, or finds one by quiet discovery. None when the watch can
  // start; else the status the run ends with, its reason said.
  std::optional<int> openFirstPort();
  // Watches until the end; returns the status. Call once, after openFirstPort.
  int watch(std::optional<std::uint64_t> count);

 private:
  // Opens path and starts listening on it. False, with the system's reason in failure, when it
  // cannot be opened or its line cannot be set.
  // denied, when given, tells whether the user may not open it.
  bool open(const std::string& path, std::string& failure, bool* denied = nullptr);
  // Stops the link (its line settings put back) and lets go of it.
  void closeLink();
  // While the link runs: whether reception failed (the port went away). While the port is away:
  // whether it is back.
  void checkPort();
  // The block to every output; false when an output failed for good.
  bool output(const LiveBlock& block);
  void tell(WatchEvent event, const std::string& message);
  int fail(int status, const std::string& message);

  ChgtuneRun& run_;
  const CommandLine& options_;
  std::ostream& err_;
  const WatchTimeouts timeouts_;
  WatchSinks sinks_;
  WatchedCharger charger_;
  // The same adapter under /dev/serial/by-id, should it come back under another path; empty when
  // the port has no such name.
  std::string stableName_;
  LiveFeed feed_;
  // Released in reverse order: the link (stopped first), then its dump.
  std::unique_ptr<QmxSerialDump> dump_;
  std::unique_ptr<QmxSerial> link_;
  bool away_ = false;          // the port went away, and no block came since
  bool toldReopened_ = false;  // during this absence
};

std::optional<int> Watch::openFirstPort() {
  RunOutput& output = run_.output();
  if (options_.has("serial")) {
    charger_.port = options_.text("serial");
    std::string failure;
    bool denied = false;
    if (!open(charger_.port, failure, &denied)) {
      err_ << failure << std::endl;
      output.noteFailure(failure);
      if (denied) hintPortPermission(charger_.port, err_);
      return kExitFailure;
    }
  } else {
    // Quiet discovery listens to each port, so the charger is found without a word sent to it.
    std::unique_ptr<QmxSerial> link =
        locateDeviceOn(run_.serialPorts(), charger_.port, true, run_.timeouts(), err_);
    if (!link) {
      const std::string message = "Unable to detect a MPPT charger.";
      err_ << message << std::endl;
      output.noteFailure(message);
      return kExitNoCharger;
    }
    link->interrupt();
    link->setReadPause(timeouts_.readPause);
    link_ = std::move(link);
    if (options_.has("dump")) {
      dump_ = std::make_unique<QmxSerialDump>(*link_, output.lines());
      dump_->connectDump();
    }
    feed_.attach(*link_, true);
  }
  stableName_ = stablePortName(charger_.port);
  return std::nullopt;
}

bool Watch::open(const std::string& path, std::string& failure, bool* denied) {
  try {
    auto link = std::make_unique<QmxSerial>(path);
    link->timeouts = run_.timeouts();
    // The watch never asks the charger anything: a request on this link would be refused.
    link->interrupt();
    link->setReadPause(timeouts_.readPause);
    std::unique_ptr<QmxSerialDump> dump;
    if (options_.has("dump")) {
      dump = std::make_unique<QmxSerialDump>(*link, run_.output().lines());
      dump->connectDump();
    }
    // Listening before the first byte is read, so that the first block is heard whole.
    feed_.attach(*link, false);
    try {
      link->start();
    } catch (...) {
      feed_.detach();
      throw;  // the link, never started, closes its port as it goes
    }
    link_ = std::move(link);
    dump_ = std::move(dump);
    return true;
  } catch (const boost::system::system_error& e) {
    failure = e.what();
    if (denied != nullptr) *denied = e.code() == boost::system::errc::permission_denied;
  } catch (const std::exception& e) {
    failure = e.what();
  }
  logInfo(kCategory, "%s", failure.c_str());
  return false;
}

void Watch::closeLink() {
  if (!link_) return;
  try {
    link_->stop();
  } catch (const std::exception& e) {
    // A port that went away may fail to close; it is let go of all the same.
    logInfo(kCategory, "closing %s: %s", link_->portName().c_str(), e.what());
  }
  feed_.detach();
  link_.reset();
  dump_.reset();
}

void Watch::checkPort() {
  if (link_) {
    if (!link_->receptionFailed()) return;
    closeLink();
    if (!away_) {
      away_ = true;
      toldReopened_ = false;
      tell(WatchEvent::portLost,
           charger_.port + " went away (adapter unplugged?); waiting for it to come back.");
    }
    return;
  }
  // The adapter's own name first: plugged in again, it may come back under another path.
  for (const std::string& path : {stableName_, charger_.port}) {
    std::string failure;
    if (path.empty() || !open(path, failure)) continue;
    // A port that opens but fails again at once is not told again until blocks came from it.
    if (!toldReopened_) {
      toldReopened_ = true;
      tell(WatchEvent::portReopened, charger_.port + " is back; watching again.");
    }
    return;
  }
}

bool Watch::output(const LiveBlock& block) {
  noteIdentity(charger_, block.values);
  bool working = true;
  for (const auto& sink : sinks_) working = sink->show(block, charger_) && working;
  return working;
}

void Watch::tell(WatchEvent event, const std::string& message) {
  err_ << message << std::endl;
  for (const auto& sink : sinks_) sink->notice(event);
}

int Watch::fail(int status, const std::string& message) {
  if (!message.empty()) err_ << message << std::endl;
  run_.output().noteFailure(message.empty() ? "standard output could not be written" : message);
  return status;
}

int Watch::watch(std::optional<std::uint64_t> count) {
  // From here on Ctrl-C, SIGTERM and the like end the watch, not the process: it closes its port
  // with the line settings put back and ends with 0. Ctrl-Z still stops it.
  TerminationHold hold([this](int) { feed_.requestEnd(); }, TerminationHold::StopRequests::acted);
  std::uint64_t shown = 0;
  Clock::time_point lastBlock = Clock::now();
  // Silence is told from the last block or from the port's return, whichever came later.
  Clock::time_point listening = lastBlock;
  bool toldSilence = false;
  Clock::time_point nextPortCheck = lastBlock + timeouts_.portCheck;
  int status = kExitOk;
  while (!feed_.endRequested()) {
    const Clock::time_point now = Clock::now();
    if (now >= nextPortCheck) {
      const bool wasAway = !link_;
      checkPort();
      if (wasAway && link_) listening = now;
      nextPortCheck = now + timeouts_.portCheck;
    }
    if (count && now - lastBlock >= timeouts_.silenceLimit) {
      status = fail(kExitNoAnswer, "No valid TEXT block from " + charger_.port + " in " +
                                       secondsText(timeouts_.silenceLimit) + ".");
      break;
    }
    if (!toldSilence && link_ && now - listening >= timeouts_.silenceNotice) {
      toldSilence = true;
      tell(WatchEvent::silence, "No valid TEXT block from " + charger_.port + " in " +
                                    secondsText(timeouts_.silenceNotice) +
                                    "; still listening. Likely causes: the charger's TX port is "
                                    "set to another function, or this is not the charger's port.");
    }
    // Woken by a block, by the end request, or for the next check or message. (An output interval
    // would hold the latest block here and add its own deadline.)
    Clock::time_point until = nextPortCheck;
    if (!toldSilence) until = std::min(until, listening + timeouts_.silenceNotice);
    if (count) until = std::min(until, lastBlock + timeouts_.silenceLimit);
    std::optional<LiveBlock> block = feed_.next(until);
    if (!block) continue;
    lastBlock = listening = Clock::now();
    away_ = false;
    if (toldSilence) {
      toldSilence = false;
      tell(WatchEvent::blocksAgain, "TEXT blocks from " + charger_.port + " again.");
    }
    if (!output(*block)) {
      status = fail(kExitFailure, "");
      break;
    }
    if (count && ++shown >= *count) break;
  }
  hold.disarm();
  closeLink();
  for (const auto& sink : sinks_) sink->finish(status);
  // A request to end that came is answered by this end.
  hold.release();
  return status;
}

}  // namespace

std::optional<std::uint64_t> readBlockCount(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  errno = 0;
  const unsigned long long count = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || count == 0) return std::nullopt;
  return static_cast<std::uint64_t>(count);
}

int watchCharger(ChgtuneRun& run) {
  const CommandLine& options = run.options();
  std::optional<std::uint64_t> count;
  if (options.has("count")) count = readBlockCount(options.text("count"));
  Watch watch(run, makeWatchSinks(options, run.output().document(), run.outIsTerminal()));
  if (std::optional<int> failed = watch.openFirstPort()) return *failed;
  return watch.watch(count);
}

}  // namespace sunlink
