// --watch: the charger's live values as it sends them, block after block, until the user ends it
// (Ctrl-C, SIGTERM: status 0, the port's line settings put back) or --count blocks were shown.
//
// The watch only listens. Nothing at all is sent to the charger: no identification, no retrieve,
// and every link it opens refuses requests, so it can never change a setting. The port is the one
// named with --serial, or the first one where quiet discovery hears a charger. The charger is
// known by the identity labels of its TEXT blocks and the program's product names. Standard
// output carries the watch's output alone (its sinks, app/watch_sinks.h); the banner, discovery
// and the watch's messages go to standard error.
//
// Messages, each said once when it happens: no valid block for 5 s (with the likely causes; the
// watch goes on, but with --count it ends with 3 after 10 s without one), the blocks back after
// that, the port gone (a USB adapter pulled out), and back: the watch then waits for the same
// path or the same /dev/serial/by-id name to come back, opens it again and goes on. The waits are
// ExchangeTimeouts::watch.
//
// With --mqtt the blocks are published to a broker (app/mqtt_sink.h) whose settings are checked
// before the port is opened; standard output then carries the JSON Lines with --json and nothing
// otherwise, and --count counts the blocks published. With --interval at most one block is output
// per interval, the latest, but one that changes the state of operation or the error at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/chgtune_run.h"

namespace sunlink {

// Runs the watch and returns the status the run ends with: 0 (ended by the user, or --count
// blocks shown), 3 (--count, and no block came in time), 11 (discovery found no charger), 12
// (--count with --mqtt, and no connection to the broker in time), -1 (the broker's settings cannot
// be used, the port could not be opened, or standard output could not be written).
int watchCharger(ChgtuneRun& run);

// --count's number of blocks: decimal digits alone, 1 or more. None for any other text.
std::optional<std::uint64_t> readBlockCount(const std::string& text);

// --interval's seconds: digits, with up to three decimals after a point ("10", "0.5"), more than
// 0. None for any other text.
std::optional<std::chrono::milliseconds> readInterval(const std::string& text);

}  // namespace sunlink
