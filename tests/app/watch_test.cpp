// The watch run in this process (runChgtune with the test's streams and short waits): the blocks
// it shows from a scripted device or the simulated charger, the silences it tells, quiet
// discovery, and the combinations it refuses. Nothing may ever reach the charger.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/run.h"
#include "app/watch_operation.h"
#include "sim/charger_sim.h"
#include "support/e2e_support.h"
#include "support/scripted_device.h"

namespace sunlink {
namespace {

using sim::textBlock;
using test::occurrences;
using test::ScriptedDevice;

// Text that the run writes on one thread (and its dump on the link's reader thread) while the test
// reads it on another.
class SharedText : public std::streambuf {
 public:
  std::string text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // Waits (bounded, so that a fault fails the test instead of hanging it) until part is there.
  bool waitFor(const std::string& part) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30),
                             [&] { return text_.find(part) != std::string::npos; });
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      const char one = traits_type::to_char_type(c);
      xsputn(&one, 1);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      text_.append(s, static_cast<std::size_t>(n));
    }
    changed_.notify_all();
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;  // guarded by mutex_
};

// Short waits: a silence is told after 0.1 s; the port is looked at every 20 ms.
ExchangeTimeouts shortWaits() {
  ExchangeTimeouts timeouts;
  timeouts.listenCycle = std::chrono::milliseconds(50);
  timeouts.watch.silenceNotice = std::chrono::milliseconds(100);
  timeouts.watch.portCheck = std::chrono::milliseconds(20);
  return timeouts;
}

int runWith(std::vector<std::string> args, std::ostream& out, std::ostream& err,
            const ExchangeTimeouts& timeouts = shortWaits(),
            std::function<std::vector<std::string>()> ports = nullptr) {
  args.insert(args.begin(), "chgtune");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::istringstream in;
  RunEnvironment environment{in, out, err, timeouts, nullptr};
  environment.serialPorts = std::move(ports);
  return runChgtune(static_cast<int>(argv.size()), argv.data(), environment);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A line of the watch's output without its time: the logfmt line after its time stamp, a JSON
// object without "time".
std::string withoutTime(const std::string& line) {
  if (line.rfind("{", 0) != 0) return line.substr(line.find(' '));
  nlohmann::ordered_json object = nlohmann::ordered_json::parse(line);
  EXPECT_EQ(object.at("time").get<std::string>().size(), 20u) << line;
  object.erase("time");
  return object.dump();
}

TEST(WatchRunTest, ShowsTheGoodBlocksAsTheyCame) {
  const std::string identity = "0xA042";
  struct Case {
    const char* name;
    std::string sent;  // by the device before the watch opens the port
    std::vector<std::string> args;
    std::vector<std::string> shown;  // without the time
  };
  const Case cases[] = {
      {"a block with a bad checksum is left out",
       textBlock({{"PID", identity}, {"V", "12000"}}) +
           textBlock({{"PID", identity}, {"V", "12500"}}, true) +
           textBlock({{"PID", identity}, {"V", "13000"}}),
       {"--count", "2"},
       {" battery_v=12.00 product_id=0xA042", " battery_v=13.00 product_id=0xA042"}},
      {"labels the block lacks are left out, unknown ones kept in JSON",
       textBlock({{"PID", identity}, {"V", "13280"}, {"XY", "a b"}, {"CS", "245"}}),
       {"--count", "1", "--json"},
       {R"({"product_id":"0xA042","battery_v":13.28,"state":245,"state_name":"starting up",)"
        R"("other":{"XY":"a b"}})"}},
      {"unknown labels are left out of the lines",
       textBlock({{"PID", identity}, {"V", "13280"}, {"XY", "a b"}}),
       {"--count", "1"},
       {" battery_v=13.28 product_id=0xA042"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDevice device;
    device.write(c.sent);
    std::vector<std::string> args = {"--serial", device.path(), "--watch"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::ostringstream out, err;
    EXPECT_EQ(runWith(args, out, err), 0) << err.str();
    std::vector<std::string> shown;
    for (const std::string& line : linesOf(out.str())) shown.push_back(withoutTime(line));
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(err.str(), "SunLink chgtune 1.17\n");
    EXPECT_EQ(device.received(), "");
  }
}

TEST(WatchRunTest, SilenceIsToldOnceAndEndsACountedWatch) {
  const std::string told =
      "; still listening. Likely causes: the charger's TX port is set to "
      "another function, or this is not the charger's port.\n";
  {
    SCOPED_TRACE("with --count, no block in time");
    ScriptedDevice device;
    ExchangeTimeouts timeouts = shortWaits();
    timeouts.watch.silenceLimit = std::chrono::milliseconds(300);
    std::ostringstream out, err;
    EXPECT_EQ(runWith({"--serial", device.path(), "--watch", "--count", "1", "--json"}, out, err,
                      timeouts),
              3);
    EXPECT_EQ(
        occurrences(err.str(), "No valid TEXT block from " + device.path() + " in 0.1 s" + told),
        1u)
        << err.str();
    const std::vector<std::string> lines = linesOf(out.str());
    ASSERT_EQ(lines.size(), 1u) << out.str();
    EXPECT_EQ(withoutTime(lines[0]),
              R"({"error":"No valid TEXT block from )" + device.path() + R"( in 0.3 s."})");
    EXPECT_EQ(device.received(), "");
  }
  {
    SCOPED_TRACE("a block after the silence");
    ScriptedDevice device;
    SharedText errText;
    std::ostream err(&errText);
    std::ostringstream out;
    auto run = std::async(std::launch::async, [&] {
      return runWith({"--serial", device.path(), "--watch", "--count", "1"}, out, err);
    });
    ASSERT_TRUE(errText.waitFor(told));
    device.write(textBlock({{"V", "12800"}}));
    EXPECT_EQ(run.get(), 0);
    EXPECT_EQ(occurrences(errText.text(), told), 1u) << errText.text();
    EXPECT_EQ(occurrences(errText.text(), "TEXT blocks from " + device.path() + " again.\n"), 1u);
    EXPECT_EQ(linesOf(out.str()).size(), 1u);
    EXPECT_EQ(device.received(), "");
  }
}

// The program never probes a pseudo-terminal of its own accord, so the simulator's path is given
// as the machine's one port. The dump shows what came from the charger, and nothing went to it.
TEST(WatchRunTest, QuietDiscoveryFindsTheChargerAndSendsItNothing) {
  sim::Faults faults;
  faults.textInterval = std::chrono::milliseconds(50);
  sim::ChargerSim charger(sim::profileByName("load115"), faults);
  const std::string path = charger.start();
  SharedText errText;
  std::ostream err(&errText);
  std::ostringstream out;
  EXPECT_EQ(runWith({"--watch", "--count", "2", "--json", "--dump"}, out, err, shortWaits(),
                    [&] { return std::vector<std::string>{path}; }),
            0)
      << errText.text();
  EXPECT_TRUE(charger.waitUntilRead(std::chrono::seconds(10)));
  EXPECT_EQ(charger.requestCount(), 0u);
  EXPECT_EQ(charger.bytesReceived(), 0u);
  const std::string said = errText.text();
  EXPECT_NE(said.find("Checking: " + path + " => MPPT charger found\n"), std::string::npos) << said;
  EXPECT_NE(said.find("\r\nSER#\tSLA04200017"), std::string::npos);
  EXPECT_EQ(said.find("> :"), std::string::npos);
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_EQ(lines.size(), 2u) << out.str();
  for (const std::string& line : lines)
    EXPECT_EQ(nlohmann::json::parse(line).at("serial"), "SLA04200017");
}

TEST(WatchOptionsTest, PathsThatAskOrWriteAreCommandLineErrors) {
  const std::string port = "/dev/chgtune-no-such-port";
  const std::string listens = ": watching only listens to the charger";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--get"}, "--watch does not go with --get" + listens},
      {{"--erase"}, "--watch does not go with --erase" + listens},
      {{"--upload", "site.xml"}, "--watch does not go with --upload" + listens},
      {{"--scan"}, "--watch does not go with --scan" + listens},
      {{"--abs", "14.4"}, "--watch does not go with --abs" + listens},
      {{"--count", "0"}, "--count takes a number of blocks, 1 or more, not \"0\""},
      {{"--count", "+2", "--json"}, "--count takes a number of blocks, 1 or more, not \"+2\""},
      {{"--interval", "0"},
       "--interval takes a number of seconds, more than 0 (such as 10 or 0.5), "
       "not \"0\""},
      {{"--interval", "1.2345"},
       "--interval takes a number of seconds, more than 0 (such as 10 or "
       "0.5), not \"1.2345\""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--serial", port, "--watch"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.front());
    std::ostringstream out, err;
    EXPECT_EQ(runWith(args, out, err), -1);
    EXPECT_EQ(err.str(), "SunLink chgtune 1.17\n" + c.message + "\n");
    const bool json = c.args.back() == "--json";
    EXPECT_EQ(out.str().empty(), !json);
    if (json) {
      EXPECT_EQ(withoutTime(out.str()), nlohmann::json({{"error", c.message}}).dump());
    }
  }
}

}  // namespace
}  // namespace sunlink
