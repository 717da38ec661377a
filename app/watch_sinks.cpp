#include "app/watch_sinks.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "platform/clock.h"
#include "platform/console.h"
#include "protocol/live_forms.h"

namespace sunlink {

namespace {

// The columns a line takes on the terminal: its characters, a UTF-8 sequence counting once (the
// charger's texts are escaped before they reach the panel, so no control character is left).
int displayWidth(const std::string& line) {
  int width = 0;
  for (char c : line) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

// A line as wide as the terminal or narrower takes one row; a longer one wraps.
int rowsOf(const std::string& line, int columns) {
  const int width = displayWidth(line);
  if (columns <= 0 || width <= columns) return 1;
  return (width + columns - 1) / columns;
}

bool writeLine(std::ostream& out, const std::string& line) {
  out << line << '\n' << std::flush;
  return !out.fail();
}

}  // namespace

WatchSinks makeWatchSinks(const CommandLine& options, std::ostream& out, bool terminal) {
  WatchSinks sinks;
  if (options.has("json"))
    sinks.push_back(std::make_unique<JsonLinesSink>(out));
  else if (terminal)
    sinks.push_back(std::make_unique<PanelSink>(out, terminalColumns));
  else
    sinks.push_back(std::make_unique<LogfmtSink>(out));
  return sinks;
}

bool LogfmtSink::show(const LiveBlock& block, const WatchedCharger&) {
  return writeLine(out_, liveLogfmtLine(block.values, block.at));
}

bool JsonLinesSink::show(const LiveBlock& block, const WatchedCharger&) {
  return writeLine(out_, liveJsonObject(block.values, block.at));
}

PanelSink::PanelSink(std::ostream& out, std::function<int()> columns)
    : out_(out), columns_(std::move(columns)) {}

bool PanelSink::show(const LiveBlock& block, const WatchedCharger& charger) {
  const std::vector<std::string> lines =
      livePanelLines(block.values, charger.model, localTimeOfDay(block.at));
  eraseRowsAbove(out_, drawnRows_);
  const int columns = columns_ ? columns_() : 0;
  drawnRows_ = 0;
  for (const std::string& line : lines) {
    out_ << line << '\n';
    drawnRows_ += rowsOf(line, columns);
  }
  out_ << std::flush;
  return !out_.fail();
}

std::string watchErrorLine(const std::string& error, std::chrono::system_clock::time_point at) {
  nlohmann::ordered_json line = nlohmann::ordered_json::object();
  line["time"] = utcTimeText(at);
  line["error"] = error;
  // A port name or a system message that is not valid UTF-8 gets replacement characters.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace sunlink
