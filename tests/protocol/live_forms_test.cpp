// The watch's three forms of a block's live values: what a log, a script and a user read.
#include "protocol/live_forms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace sunlink {
namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

LiveValues decoded(const std::vector<std::pair<std::string, std::string>>& pairs) {
  LiveDecoder decoder;
  for (const auto& pair : pairs) decoder.feed(pair.first, pair.second);
  decoder.feed("Checksum", "x");
  return decoder.values();
}

const system_clock::time_point kBlockTime{seconds(1796733296)};  // 2026-12-08 12:34:56 UTC
const seconds kTimeOfDay{12 * 3600 + 34 * 60 + 56};

TEST(LiveFormsTest, EachFormShowsWhatTheBlockCarried) {
  const LiveValues full = decoded({
      {"PID", "0xA042"}, {"FW", "115"},   {"SER#", "HQ1234ABCDE"},
      {"V", "13280"},    {"I", "2450"},   {"VPV", "18100"},
      {"PPV", "32"},     {"CS", "3"},     {"MPPT", "2"},
      {"OR", "0x0"},     {"ERR", "0"},    {"LOAD", "ON"},
      {"IL", "300"},     {"H19", "1234"}, {"H20", "12"},
      {"H21", "45"},     {"H22", "34"},   {"H23", "60"},
      {"HSDS", "12"},    {"SOC", "87 %"},
  });
  // Off at night with the relay, an unknown error and two reasons; no load output.
  const LiveValues off = decoded({{"V", "12490"},
                                  {"I", "-5"},
                                  {"CS", "0"},
                                  {"MPPT", "0"},
                                  {"OR", "0x00000201"},
                                  {"ERR", "99"},
                                  {"Relay", "OFF"}});
  // A charger's texts: blanks, quotes, "=", a backslash, escape sequences, bytes that are not
  // UTF-8; a value that is no number.
  const LiveValues texts =
      decoded({{"FW", "1\x1B]15"}, {"SER#", "HQ \"12\"=\\"}, {"V", "x"}, {"Note\x1B", "caf\xE9"}});
  const LiveValues empty = decoded({});

  const struct {
    const char* name;
    const LiveValues& values;
    std::string logfmt;
    std::string json;
    std::vector<std::string> panel;
  } cases[] = {
      {"a full block",
       full,
       "2026-12-08T12:34:56Z battery_v=13.28 battery_a=2.45 panel_v=18.10 panel_w=32 load=on "
       "load_a=0.30 state=bulk tracker=\"MPP tracker active\" error=none off_reason=none "
       "yield_total_kwh=12.34 yield_today_kwh=0.12 yield_yesterday_kwh=0.34 max_power_today_w=45 "
       "max_power_yesterday_w=60 day=12 product_id=0xA042 firmware=1.15 serial=HQ1234ABCDE",
       R"({"time":"2026-12-08T12:34:56Z","product_id":"0xA042","firmware":"1.15",)"
       R"("serial":"HQ1234ABCDE","battery_v":13.28,"battery_a":2.45,"panel_v":18.1,"panel_w":32,)"
       R"("load":true,"load_a":0.3,"state":3,"state_name":"bulk","tracker":2,)"
       R"("tracker_name":"MPP tracker active","error":0,"error_name":"none","off_reason":0,)"
       R"("off_reason_name":"none","yield_total_kwh":12.34,"yield_today_kwh":0.12,)"
       R"("yield_yesterday_kwh":0.34,"max_power_today_w":45,"max_power_yesterday_w":60,"day":12,)"
       R"("other":{"SOC":"87 %"}})",
       {"MPPT 75/15  v1.15  HQ1234ABCDE  12:34:56",
        "Battery  13.28 V  +2.45 A  Bulk (MPP tracker active)", "Panel    18.10 V  32 W",
        "Load     on  0.30 A", "Error    none",
        "Yield    today 0.12 kWh (max 45 W)  yesterday 0.34 kWh (max 60 W)  total 12.34 kWh  "
        "day 12"}},
      {"off at night",
       off,
       "2026-12-08T12:34:56Z battery_v=12.49 battery_a=-0.005 relay=off state=off tracker=off "
       "error=\"error 99\" off_reason=\"no input power, 0x200\"",
       R"({"time":"2026-12-08T12:34:56Z","battery_v":12.49,"battery_a":-0.005,"relay":false,)"
       R"("state":0,"state_name":"off","tracker":0,"tracker_name":"off","error":99,)"
       R"("error_name":"error 99","off_reason":513,"off_reason_name":"no input power, 0x200"})",
       {"MPPT 75/15  12:34:56", "Battery  12.49 V  -0.005 A  Off", "Relay    off",
        "Error    error 99  off: no input power, 0x200"}},
      {"the charger's texts",
       texts,
       "2026-12-08T12:34:56Z firmware=1\\x1B].15 serial=\"HQ \\\"12\\\"=\\\\\"",
       R"({"time":"2026-12-08T12:34:56Z","firmware":"1\u001b].15","serial":"HQ \"12\"=\\",)"
       "\"other\":{\"Note\\u001b\":\"caf\xEF\xBF\xBD\"}}",
       {"MPPT 75/15  v1\\x1B].15  HQ \"12\"=\\  12:34:56"}},
      {"a block of nothing known",
       empty,
       "2026-12-08T12:34:56Z",
       R"({"time":"2026-12-08T12:34:56Z"})",
       {"MPPT 75/15  12:34:56"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(liveLogfmtLine(c.values, kBlockTime), c.logfmt);
    EXPECT_EQ(liveJsonObject(c.values, kBlockTime), c.json);
    EXPECT_EQ(livePanelLines(c.values, "MPPT 75/15", kTimeOfDay), c.panel);
  }
  // The model name is the caller's, but may come from the charger too.
  EXPECT_EQ(livePanelLines(empty, "", seconds(0)), std::vector<std::string>{"00:00:00"});
  EXPECT_EQ(livePanelLines(empty, "X\x1B[2J", seconds(86399))[0], "X\\x1B[2J  23:59:59");
}

TEST(LiveFormsTest, TimesAreUtcToTheSecondRoundedDown) {
  const struct {
    system_clock::time_point at;
    const char* text;
  } cases[] = {
      {system_clock::time_point{}, "1970-01-01T00:00:00Z"},
      {kBlockTime + std::chrono::milliseconds(999), "2026-12-08T12:34:56Z"},
      {system_clock::time_point{seconds(951868799)}, "2000-02-29T23:59:59Z"},
      {system_clock::time_point{} - std::chrono::milliseconds(1), "1969-12-31T23:59:59Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(utcTimeText(c.at), c.text);
}

}  // namespace
}  // namespace sunlink
