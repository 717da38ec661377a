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
#include "app/mqtt_sink.h"
#include "app/watch_sinks.h"
#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "device/capabilities.h"
#include "device/discovery.h"
#include "link/qmx_serial.h"
#include "link/qmx_serial_dump.h"
#include "platform/signals.h"
#include "platform/stable_port_name.h"
#include "publish/mosquitto_publisher.h"

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
  // mqtt: the broker's sink among sinks, or null.
  Watch(ChgtuneRun& run, WatchSinks sinks, MqttSink* mqtt)
      : run_(run),
        options_(run.options()),
        err_(run.output().err()),
        timeouts_(run.timeouts().watch),
        sinks_(std::move(sinks)),
        mqtt_(mqtt) {}
  ~Watch() { closeLink(); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  // Opens the port named with --serial, or finds one by quiet discovery. None when the watch can
  // start; else the status the run ends with, its reason said.
  std::optional<int> openFirstPort();
  // Watches until the end; returns the status. Call once, after openFirstPort. With an interval,
  // at most one block is output per interval, the latest.
  int watch(std::optional<std::uint64_t> count, std::optional<std::chrono::milliseconds> interval);

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
  // What the broker did since the last look, on standard error.
  void tellBroker();
  int fail(int status, const std::string& message);

  ChgtuneRun& run_;
  const CommandLine& options_;
  std::ostream& err_;
  const WatchTimeouts timeouts_;
  WatchSinks sinks_;
  MqttSink* const mqtt_;
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

void Watch::tellBroker() {
  if (mqtt_ == nullptr) return;
  for (const std::string& message : mqtt_->takeMessages()) err_ << message << std::endl;
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

int Watch::watch(std::optional<std::uint64_t> count,
                 std::optional<std::chrono::milliseconds> interval) {
  // From here on Ctrl-C, SIGTERM and the like end the watch, not the process: it closes its port
  // with the line settings put back and ends with 0. Ctrl-Z still stops it.
  TerminationHold hold([this](int) { feed_.requestEnd(); }, TerminationHold::StopRequests::acted);
  std::uint64_t shown = 0;
  Clock::time_point lastBlock = Clock::now();
  // Silence is told from the last block or from the port's return, whichever came later.
  Clock::time_point listening = lastBlock;
  bool toldSilence = false;
  Clock::time_point nextPortCheck = lastBlock + timeouts_.portCheck;
  // With an interval: the latest block not output yet, and when the next may be. A change of the
  // state of operation or of the error code is output at once.
  std::optional<LiveBlock> held;
  Clock::time_point nextOutput = Clock::time_point::min();
  std::optional<std::int64_t> shownState, shownError;
  const auto changes = [&](const LiveValues& values) {
    const auto& state = values[LiveField::state];
    const auto& error = values[LiveField::error];
    return (state && state != shownState) || (error && error != shownError);
  };
  // Outputs a block; the status to end with when that is the end.
  const auto emit = [&](const LiveBlock& block) -> std::optional<int> {
    if (block.values[LiveField::state]) shownState = block.values[LiveField::state];
    if (block.values[LiveField::error]) shownError = block.values[LiveField::error];
    if (interval) nextOutput = Clock::now() + *interval;
    if (!output(block)) return fail(kExitFailure, "");
    // With a broker, the blocks it was given count; the others went by while it was away.
    shown = mqtt_ != nullptr ? mqtt_->published() : shown + 1;
    if (count && shown >= *count) return kExitOk;
    return std::nullopt;
  };
  int status = kExitOk;
  while (!feed_.endRequested()) {
    const Clock::time_point now = Clock::now();
    tellBroker();
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
    // A run that must publish its blocks (a timer's job) does not wait for the broker for ever.
    const std::optional<Clock::duration> away =
        count && mqtt_ != nullptr ? mqtt_->awayFor() : std::nullopt;
    const Clock::duration brokerAway = away.value_or(Clock::duration::zero());
    if (away && brokerAway >= timeouts_.brokerConnectWait) {
      const std::string reason = mqtt_->lastReason();
      status =
          fail(kExitBrokerUnreachable, "No connection to the MQTT broker " + mqtt_->brokerText() +
                                           " in " + secondsText(timeouts_.brokerConnectWait) +
                                           (reason.empty() ? "" : ": " + reason) + ".");
      break;
    }
    if (!toldSilence && link_ && now - listening >= timeouts_.silenceNotice) {
      toldSilence = true;
      tell(WatchEvent::silence, "No valid TEXT block from " + charger_.port + " in " +
                                    secondsText(timeouts_.silenceNotice) +
                                    "; still listening. Likely causes: the charger's TX port is "
                                    "set to another function, or this is not the charger's port.");
    }
    if (held && now >= nextOutput) {
      const LiveBlock block = std::move(*held);
      held.reset();
      if (std::optional<int> end = emit(block)) {
        status = *end;
        break;
      }
    }
    // Woken by a block, by the end request, or for the next check, message or held block.
    Clock::time_point until = nextPortCheck;
    if (!toldSilence) until = std::min(until, listening + timeouts_.silenceNotice);
    if (count) until = std::min(until, lastBlock + timeouts_.silenceLimit);
    if (held) until = std::min(until, nextOutput);
    if (away) until = std::min(until, now + (timeouts_.brokerConnectWait - brokerAway));
    std::optional<LiveBlock> block = feed_.next(until);
    if (!block) continue;
    lastBlock = listening = Clock::now();
    away_ = false;
    if (toldSilence) {
      toldSilence = false;
      tell(WatchEvent::blocksAgain, "TEXT blocks from " + charger_.port + " again.");
    }
    if (interval && lastBlock < nextOutput && !changes(block->values)) {
      held = std::move(block);
      continue;
    }
    held.reset();
    if (std::optional<int> end = emit(*block)) {
      status = *end;
      break;
    }
  }
  hold.disarm();
  closeLink();
  for (const auto& sink : sinks_) sink->finish(status);
  tellBroker();
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

std::optional<std::chrono::milliseconds> readInterval(const std::string& text) {
  // Whole seconds of up to six digits (more than eleven days), and up to three decimals.
  const std::size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  const auto digits = [](const std::string& part) {
    return part.find_first_not_of("0123456789") == std::string::npos;
  };
  if (whole.empty() || whole.size() > 6 || !digits(whole) || !digits(fraction) ||
      fraction.size() > 3 || (point != std::string::npos && fraction.empty()))
    return std::nullopt;
  const long long milliseconds =
      std::stoll(whole) * 1000 +
      (fraction.empty() ? 0 : std::stoll((fraction + "00").substr(0, 3)));
  if (milliseconds == 0) return std::nullopt;
  return std::chrono::milliseconds(milliseconds);
}

namespace {

MqttOptions mqttOptions(const CommandLine& options) {
  MqttOptions mqtt;
  mqtt.url = options.text("mqtt");
  mqtt.user = options.text("mqtt-user");
  mqtt.passwordFile = options.text("mqtt-password-file");
  mqtt.caFile = options.text("mqtt-cafile");
  if (options.has("mqtt-topic")) mqtt.topicBase = options.text("mqtt-topic");
  if (options.has("mqtt-discovery-prefix"))
    mqtt.discoveryPrefix = options.text("mqtt-discovery-prefix");
  mqtt.discovery = !options.has("no-mqtt-discovery");
  return mqtt;
}

PublisherTimeouts publisherTimeouts(const WatchTimeouts& watch) {
  PublisherTimeouts timeouts;
  timeouts.reconnectFirst = watch.brokerRetryFirst;
  timeouts.reconnectLongest = watch.brokerRetryLongest;
  timeouts.connectWait = watch.brokerConnectWait;
  timeouts.goodbyeWait = watch.brokerGoodbye;
  return timeouts;
}

}  // namespace

int watchCharger(ChgtuneRun& run) {
  const CommandLine& options = run.options();
  std::optional<std::uint64_t> count;
  if (options.has("count")) count = readBlockCount(options.text("count"));
  std::optional<std::chrono::milliseconds> interval;
  if (options.has("interval")) interval = readInterval(options.text("interval"));

  // The broker's settings are checked before the port is opened: one that cannot work ends the
  // run at once, not after the charger was found.
  std::unique_ptr<MqttSink> mqtt;
  if (options.has("mqtt")) {
    try {
      const MqttSettings settings = makeMqttSettings(mqttOptions(options));
      for (const std::string& warning : settings.warnings)
        run.output().err() << warning << std::endl;
      mqtt = std::make_unique<MqttSink>(
          std::make_unique<MosquittoPublisher>(settings, publisherTimeouts(run.timeouts().watch)),
          settings, !count);
    } catch (const mqtt_settings_error& e) {
      const std::string* what = boost::get_error_info<tag_what>(e);
      const std::string message = what != nullptr ? *what : e.what();
      run.output().err() << message << std::endl;
      run.output().noteFailure(message);
      return kExitFailure;
    }
  }

  // With a broker, standard output carries the JSON Lines when asked for and nothing else: a
  // service does not log a line per block.
  WatchSinks sinks;
  if (!mqtt)
    sinks = makeWatchSinks(options, run.output().document(), run.outIsTerminal());
  else if (options.has("json"))
    sinks.push_back(std::make_unique<JsonLinesSink>(run.output().document()));
  MqttSink* const broker = mqtt.get();
  if (mqtt) sinks.push_back(std::move(mqtt));
  Watch watch(run, std::move(sinks), broker);
  if (std::optional<int> failed = watch.openFirstPort()) return *failed;
  return watch.watch(count, interval);
}

}  // namespace sunlink
