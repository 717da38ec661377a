// Where the watch's blocks go: each decoded block is handed to a list of outputs (sinks), each
// behind the small interface below. The three outputs of standard output are here: the panel
// redrawn in place on a terminal, a logfmt line per block, and JSON Lines with --json. Any other
// output (a broker's publisher) is one more sink in the list.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/live_feed.h"

namespace sunlink {

// The charger as the watch knows it from the identity labels of its TEXT blocks (PID, FW, SER#):
// the latest value of each that came, and the port it is watched on.
struct WatchedCharger {
  std::string port;                        // as named with --serial or found by discovery
  std::optional<std::uint16_t> productId;  // none until a block carried a PID
  std::string model;     // the program's name for the product ("MPPT 75/15"); empty when none
  std::string firmware;  // "1.15"; empty until a block carried FW
  std::string serial;    // as the charger sends it; empty until a block carried SER#
};

// What the watch told the user on standard error about the line, for the sinks that show the
// state of the line (the panel draws itself anew below the message; a publisher marks the charger
// unavailable while its port is away).
enum class WatchEvent {
  silence,       // no valid block for a while (WatchTimeouts::silenceNotice); still listening
  blocksAgain,   // blocks come again after the silence
  portLost,      // the port went away (a USB adapter pulled out); waiting for it to come back
  portReopened,  // the port is back and open; blocks follow when the charger sends them
};

// One output of the watch. Called on the watching thread only, in this order: show and notice as
// things happen, then finish once.
class WatchSink {
 public:
  virtual ~WatchSink() = default;
  // One checksum-valid block, with the charger as known after it. False when this output has
  // failed for good (standard output closed or full): the watch then ends with 255. An output that
  // fails for a while (a broker away) returns true and catches up by itself.
  virtual bool show(const LiveBlock& block, const WatchedCharger& charger) = 0;
  virtual void notice(WatchEvent) {}
  // The watch ends with status (0: count reached or the user ended it).
  virtual void finish(int /*status*/) {}
};

using WatchSinks = std::vector<std::unique_ptr<WatchSink>>;

// The outputs the options ask for, writing to out (standard output): JSON Lines with --json, else
// the panel when out is a terminal, else logfmt lines.
WatchSinks makeWatchSinks(const CommandLine& options, std::ostream& out, bool terminal);

// A logfmt line per block (protocol/live_forms.h), flushed at once: a log reader sees each block
// as it comes.
class LogfmtSink : public WatchSink {
 public:
  explicit LogfmtSink(std::ostream& out) : out_(out) {}
  bool show(const LiveBlock& block, const WatchedCharger& charger) override;

 private:
  std::ostream& out_;
};

// A JSON object per block, one per line (JSON Lines), flushed at once.
class JsonLinesSink : public WatchSink {
 public:
  explicit JsonLinesSink(std::ostream& out) : out_(out) {}
  bool show(const LiveBlock& block, const WatchedCharger& charger) override;

 private:
  std::ostream& out_;
};

// The panel: the lines of the latest block, redrawn in place on the terminal (no scrolling), the
// time of the block in local time. A message written to the terminal in between (a notice on
// standard error) stays: the next panel is drawn below it. columns gives the terminal's width, so
// that a line the terminal wraps counts as the rows it takes (0: unknown, no wrapping counted).
class PanelSink : public WatchSink {
 public:
  explicit PanelSink(std::ostream& out, std::function<int()> columns = nullptr);
  bool show(const LiveBlock& block, const WatchedCharger& charger) override;
  void notice(WatchEvent) override { drawnRows_ = 0; }

 private:
  std::ostream& out_;
  std::function<int()> columns_;
  int drawnRows_ = 0;  // rows the last panel took on the terminal, the cursor below them
};

// The last line of a watch that failed with --json, in place of the run's JSON document:
// {"time": "2026-12-08T12:34:56Z", "error": "..."}.
std::string watchErrorLine(const std::string& error, std::chrono::system_clock::time_point at);

}  // namespace sunlink
