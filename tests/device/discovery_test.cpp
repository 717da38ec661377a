// Discovery over an injected port list: simulated chargers and other devices on pseudo-terminals,
// and, for quiet discovery, a scripted device whose TEXT data the test writes itself.
#include "device/discovery.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/text_parser.h"
#include "sim/charger_sim.h"
#include "support/log_capture.h"
#include "support/scripted_device.h"

namespace sunlink {
namespace {

using sim::textBlock;
using test::ScriptedDevice;

ExchangeTimeouts shortTimeouts() {
  ExchangeTimeouts timeouts;
  // Long enough for any answering device to be heard at its first attempt on a busy machine.
  timeouts.deviceId = std::chrono::milliseconds(250);
  timeouts.listenCycle = std::chrono::milliseconds(50);
  // Limit 0: the listening ends after its first cycle, so "found" means found after one cycle.
  timeouts.listenLimit = std::chrono::seconds(0);
  timeouts.listenLimitGarbled = std::chrono::seconds(0);
  return timeouts;
}

std::unique_ptr<sim::ChargerSim> startedSim(const std::string& profile, sim::Faults faults = {}) {
  auto sim = std::make_unique<sim::ChargerSim>(sim::profileByName(profile), faults);
  sim->start();
  return sim;
}

TEST(LocateDevice, ReportsEachPortAndReturnsTheFirstCharger) {
  test::LogCapture log;
  auto silent = startedSim("silent");
  auto monitor = startedSim("monitor");
  auto charger = startedSim("load115");
  auto held = startedSim("load115");
  auto later = startedSim("rotary113");
  const std::string missing = "/dev/chgtune-no-such-port";
  // Another program has the port.
  QmxSerial holder(held->slavePath());
  const std::vector<std::string> ports = {
      silent->slavePath(), monitor->slavePath(), missing,
      held->slavePath(),   charger->slavePath(), later->slavePath()};
  std::ostringstream out;
  std::string portName;
  std::vector<TriedPort> tried;
  std::unique_ptr<QmxSerial> link =
      locateDeviceOn(ports, portName, false, shortTimeouts(), out, &tried);

  ASSERT_NE(link, nullptr);
  EXPECT_EQ(portName, charger->slavePath());
  EXPECT_EQ(out.str(), "Checking: " + silent->slavePath() + " => no response, skipped\n" +
                           "Checking: " + monitor->slavePath() + " => no mppt charger, skipped\n" +
                           "Checking: " + missing + " => unable to open port\n" +
                           "Checking: " + held->slavePath() + " => unable to open port\n" +
                           "Checking: " + charger->slavePath() + " => MPPT charger found\n");
  // What each port gave, as the user is told it when no charger is found.
  tried.pop_back();
  EXPECT_EQ(triedPortsLine(tried), "Ports tried: " + silent->slavePath() + " (no answer), " +
                                       monitor->slavePath() + " (not a charger), " + missing +
                                       " (missing), " + held->slavePath() + " (busy)");
  // Why a port did not open is logged (shown with --verbose), not put into its verdict.
  EXPECT_TRUE(log.contains("INF.serial: open " + missing + ": No such file or directory"));
  EXPECT_EQ(later->requestCount(), 0u);
  // The silent device was asked three times (counted once it has read all that reached it), and
  // the charger's link comes back running.
  ASSERT_TRUE(silent->waitUntilRead(std::chrono::seconds(10)));
  EXPECT_EQ(silent->requestCount(), 3u);
  std::uint16_t version = 0;
  EXPECT_TRUE(HexProtocol(*link).ping(version));
  EXPECT_EQ(version, sim::profileByName("load115").versionWord);
  link->stop();
  // Rejected ports were closed: they can be opened again.
  EXPECT_NO_THROW(QmxSerial(silent->slavePath()));
  EXPECT_NO_THROW(QmxSerial(monitor->slavePath()));
}

TEST(LocateDevice, NoChargerLeavesTheLastPortProbed) {
  auto silent = startedSim("silent");
  auto monitor = startedSim("monitor");
  std::ostringstream out;
  std::string portName = "unchanged";
  std::vector<TriedPort> tried;
  EXPECT_EQ(locateDeviceOn({}, portName, false, shortTimeouts(), out, &tried), nullptr);
  EXPECT_EQ(portName, "unchanged");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(triedPortsLine(tried), "no serial ports found");

  EXPECT_EQ(locateDeviceOn({silent->slavePath(), monitor->slavePath()}, portName, false,
                           shortTimeouts(), out),
            nullptr);
  EXPECT_EQ(portName, monitor->slavePath());
}

TEST(LocateDevice, DeviceThatRefusesTheIdRequestIsAnInvalidResponse) {
  ScriptedDevice device;
  // Answers whatever comes with "unknown command" (code 4).
  HexMsg refusal;
  refusal.append(0x4);
  ExchangeTimeouts timeouts = shortTimeouts();
  timeouts.deviceId = std::chrono::seconds(5);  // one attempt, however slow the machine
  std::ostringstream out;
  auto probe = std::async(std::launch::async,
                          [&] { return probePort(device.path(), false, timeouts, out); });
  std::string request;
  while (request.find('\n') == std::string::npos) {
    request += device.received();
    std::this_thread::yield();
  }
  device.write(refusal.toText());
  EXPECT_EQ(probe.get(), nullptr);
  EXPECT_EQ(out.str(), "Checking: " + device.path() + " => invalid response, skipped\n");
  EXPECT_EQ(request, ":451\n");
}

TEST(LocateDevice, PortThatFailsMidProbeIsClosedAndSkipped) {
  // The adapter goes away at the first request: the resend cannot be written.
  sim::Faults faults;
  faults.unplugAfter = 0;
  auto pulled = startedSim("load115", faults);
  auto charger = startedSim("rotary113");
  std::ostringstream out;
  std::string portName;
  std::unique_ptr<QmxSerial> link = locateDeviceOn({pulled->slavePath(), charger->slavePath()},
                                                   portName, false, shortTimeouts(), out);
  ASSERT_NE(link, nullptr);
  link->stop();
  EXPECT_EQ(out.str(), "Checking: " + pulled->slavePath() + " => unable to open port\n" +
                           "Checking: " + charger->slavePath() + " => MPPT charger found\n");
}

struct QuietCase {
  const char* name;
  std::string data;  // what the device sends, over and over, once the probe listens
  bool found;
  // The data carries three identity labels: the probe decides as soon as they are in, and may
  // listen for as long as that takes. Otherwise it decides when its listening ends: after one
  // listening cycle of the program's own length.
  bool identifies = true;
};

TEST(QuietDiscovery, DecidesFromTheTextBlocksAlone) {
  const std::string hexFirst = ":5094106\n";  // a ping reply, as another master's traffic
  const QuietCase cases[] = {
      {"product id of a charger", textBlock({{"PID", "0xA042"}, {"FW", "115"}, {"SER#", "X1"}}),
       true},
      {"oldest charger", textBlock({{"PID", "0x300"}, {"FW", "159"}, {"SER#", "X1"}}), true},
      {"product id without 0x", textBlock({{"PID", "A042"}, {"FW", "115"}, {"SER#", "X1"}}), false},
      {"battery monitor", textBlock({{"PID", "0x203"}, {"FW", "115"}, {"SER#", "X1"}}), false},
      {"prod names a charger", textBlock({{"prod", "MPPT 75/15"}, {"FW", "115"}, {"ser#", "X"}}),
       true},
      {"prod names something else", textBlock({{"prod", "BMON"}, {"FW", "115"}, {"ser#", "X"}}),
       false},
      {"neither PID nor prod", textBlock({{"FW", "115"}, {"SER#", "X1"}, {"ver#", "2"}}), true},
      {"measurements only", textBlock({{"V", "12800"}, {"I", "100"}, {"FW", "115"}}), false, false},
      {"identity spread over blocks",
       textBlock({{"PID", "0xA042"}, {"V", "12800"}}) + textBlock({{"FW", "115"}}) +
           textBlock({{"SER#", "X1"}}),
       true},
      {"HEX frame before any block",
       hexFirst + textBlock({{"PID", "0xA042"}, {"FW", "115"}, {"SER#", "X1"}}), false},
      {"damaged block only", textBlock({{"PID", "0xA042"}, {"FW", "115"}, {"SER#", "X1"}}, true),
       false, false},
  };
  // The probe's parser connects just after the link starts reading; bytes the reader takes before
  // that never reach it. The device starts sending once the parser listens (its log says so), so
  // that every case is decided from its data as a whole, not from whatever part came late.
  test::LogCapture log;
  for (const QuietCase& c : cases) {
    SCOPED_TRACE(c.name);
    log.reset();
    ScriptedDevice device;
    std::ostringstream out;
    // The device repeats its data the way a charger repeats its blocks.
    ExchangeTimeouts listening = shortTimeouts();
    if (c.identifies) {
      listening.listenCycle = std::chrono::milliseconds(10);
      listening.listenLimit = listening.listenLimitGarbled = std::chrono::seconds(60);
    } else {
      listening.listenCycle = ExchangeTimeouts().listenCycle;
    }
    auto probe = std::async(std::launch::async,
                            [&] { return probePort(device.path(), true, listening, out); });
    while (!log.contains("INF.reader: parser: establish text protocol connection") &&
           probe.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    }
    do device.write(c.data);
    while (probe.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready);
    std::unique_ptr<QmxSerial> link = probe.get();
    EXPECT_EQ(link != nullptr, c.found);
    EXPECT_EQ(out.str(), "Checking: " + device.path() +
                             (c.found ? " => MPPT charger found\n" : " => skipped\n"));
    if (link) link->stop();
    // Quiet discovery never disturbs the line.
    EXPECT_EQ(device.received(), "");
  }
}

TEST(QuietDiscovery, DamagedTextRaisesTheListeningLimit) {
  ExchangeTimeouts timeouts = shortTimeouts();
  timeouts.listenLimit = std::chrono::seconds(0);
  timeouts.listenLimitGarbled = std::chrono::seconds(3);
  const std::string identity = textBlock({{"PID", "0xA042"}, {"FW", "115"}, {"SER#", "X1"}});

  // Without damaged data the probe ends after its one cycle and misses a late charger; with it the
  // probe keeps listening and hears the charger's next block.
  for (bool garbled : {false, true}) {
    SCOPED_TRACE(garbled ? "garbled" : "clean");
    ScriptedDevice device;
    device.write(garbled ? textBlock({{"V", "1"}}, true) : textBlock({{"V", "1"}}));
    std::ostringstream out;
    auto probe = std::async(std::launch::async,
                            [&] { return probePort(device.path(), true, timeouts, out); });
    // Well past the first cycle, yet far inside the raised limit.
    if (probe.wait_for(std::chrono::milliseconds(400)) == std::future_status::timeout)
      device.write(identity);
    std::unique_ptr<QmxSerial> link = probe.get();
    EXPECT_EQ(link != nullptr, garbled);
    if (link) link->stop();
  }
}

TEST(QuietDiscovery, FindsTheSimulatedChargerFromItsBlocks) {
  sim::Faults faults;
  faults.textInterval = std::chrono::milliseconds(20);
  auto charger = startedSim("load115", faults);
  ExchangeTimeouts timeouts = shortTimeouts();
  timeouts.listenLimit = std::chrono::seconds(2);
  std::ostringstream out;
  std::unique_ptr<QmxSerial> link = probePort(charger->slavePath(), true, timeouts, out);
  ASSERT_NE(link, nullptr);
  link->stop();
  EXPECT_EQ(out.str(), "Checking: " + charger->slavePath() + " => MPPT charger found\n");
  EXPECT_EQ(charger->requestCount(), 0u);
}

TEST(TextNamesMpptCharger, ReadsPidAsHexAndProdByItsPrefix) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> entries;
    bool charger;
  };
  const Case cases[] = {
      {{{"PID", "0xA040"}}, true},
      {{{"PID", "0xA07F"}}, true},
      {{{"PID", "0xa07f"}}, true},
      {{{"PID", "0xA080"}}, false},
      {{{"PID", "0xA03F"}}, false},
      {{{"PID", "0x0300"}}, true},
      {{{"PID", "0x1A040"}}, false},  // more than 16 bits
      {{{"PID", "0xFFFFFFFFFFFFFFFFFFFFA040"}}, false},
      {{{"PID", "0x"}}, false},
      {{{"PID", "0XA040"}}, false},
      {{{"PID", "????"}}, false},
      {{{"pid", "0xA042"}, {"prod", "BMON"}}, true},  // PID decides when present
      {{{"PID", "A042"}, {"prod", "MPPT"}}, false},
      {{{"prod", "MPPT"}}, true},
      {{{"prod", "MPP"}}, false},
      {{{"prod", "mppt 75/15"}}, false},
      {{{"FW", "1"}, {"SER#", "2"}}, true},
  };
  for (const Case& c : cases) {
    TextDictionary dictionary;
    std::string trace;
    for (const auto& entry : c.entries) {
      dictionary.addIfAbsent(entry.first, entry.second);
      trace += entry.first + "=" + entry.second + " ";
    }
    SCOPED_TRACE(trace);
    EXPECT_EQ(textNamesMpptCharger(dictionary), c.charger);
  }
}

}  // namespace
}  // namespace sunlink
