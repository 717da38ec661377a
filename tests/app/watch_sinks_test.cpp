// The watch's outputs: the lines that tell the watch when standard output fails, and the error
// line of a failed watch.
#include "app/watch_sinks.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace sunlink {
namespace {

LiveBlock blockOf(std::int64_t millivolts, const std::string& serial) {
  LiveBlock block;
  block.values.serial = serial;
  block.values[LiveField::batteryV] = millivolts;
  block.values[LiveField::state] = 3;
  block.at = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 50));
  return block;
}

// An output whose stream fails (a closed pipe, a full disk) tells the watch, which then ends.
TEST(WatchSinkTest, AFailedStreamEndsTheWatch) {
  std::ostringstream out;
  LogfmtSink logfmt(out);
  JsonLinesSink json(out);
  PanelSink panel(out);
  WatchedCharger charger;
  for (WatchSink* sink : std::vector<WatchSink*>{&logfmt, &json, &panel}) {
    out.clear();
    EXPECT_TRUE(sink->show(blockOf(13280, "HQ1"), charger));
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(sink->show(blockOf(13280, "HQ1"), charger));
  }
}

TEST(WatchErrorLineTest, IsOneJsonObjectWithTheTimeAndTheError) {
  const std::string line =
      watchErrorLine("open /dev/tty\xFF: gone \"now\"", std::chrono::system_clock::time_point());
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const nlohmann::json parsed = nlohmann::json::parse(line);
  EXPECT_EQ(parsed.at("time"), "1970-01-01T00:00:00Z");
  EXPECT_EQ(parsed.at("error"), "open /dev/tty\xEF\xBF\xBD: gone \"now\"");
  EXPECT_EQ(parsed.size(), 2u);
}

}  // namespace
}  // namespace sunlink
