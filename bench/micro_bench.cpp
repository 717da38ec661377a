// Micro-benchmarks of the receive path and of start-up work: the HEX frame assembler and the TEXT
// splitter (with pair extraction) are fed a realistic stream byte by byte, as the reader thread
// feeds them; the embedded definition document is parsed into a table, as every run does once.
// The watch's path, from the received bytes of a TEXT block to its three forms, is timed per block,
// and its resident memory is compared after 100 and after 100,000 blocks, also with each block
// handed to the broker's output while the broker is away (none listens on its port).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/mqtt_sink.h"
#include "codec/hex_msg.h"
#include "codec/live_values.h"
#include "codec/text_splitter.h"
#include "protocol/live_forms.h"
#include "publish/mosquitto_publisher.h"
#include "settings/settings_file.h"
#include "settings/vreg_table.h"
#include "sim/charger_sim.h"
#include "sim/profiles.h"
#include "sim/sunny_day.h"

namespace {

using namespace sunlink;

// TEXT blocks of a charger with a load output over a sunny day, one every 86.4 s of it: identity,
// every live label and the load's. A block whose checksum byte would break it on the line (":" or
// a line end) is left out, as the simulated charger steers around them.
std::vector<std::string> dayBlocks() {
  constexpr int kCount = 1000;
  sim::DayCharger charger;
  charger.loadMilliamps = 300;
  std::vector<std::string> blocks;
  for (int i = 0; i < kCount; ++i) {
    std::vector<std::pair<std::string, std::string>> labels = {
        {"PID", "0xA042"}, {"FW", "115"}, {"SER#", "HQ1234ABCDE"}};
    const std::chrono::milliseconds day(86400000);
    for (const auto& pair : sim::sunnyDayLabels(day * i / kCount, day, charger))
      labels.push_back(pair);
    labels.emplace_back("LOAD", "ON");
    labels.emplace_back("IL", "300");
    std::string block = sim::textBlock(labels);
    if (block.back() != ':' && block.back() != '\r' && block.back() != '\n')
      blocks.push_back(std::move(block));
  }
  return blocks;
}

// What the watch does with the bytes of the line: splits them into blocks, decodes each block's
// pairs and writes its three forms (here only measured).
class WatchPath {
 public:
  WatchPath() = default;
  // Each block also goes to sink, as the watch hands it to the broker's output.
  explicit WatchPath(WatchSink* sink) : sink_(sink) {}
  // Returns the number of blocks completed.
  std::size_t feed(const std::string& bytes) {
    std::size_t blocks = 0;
    for (char c : bytes) {
      if (!splitter_.feed(c).validBlock) continue;
      extractPairs(splitter_.lastBlock(), [&](const std::string& label, const std::string& value) {
        if (!decoder_.feed(label, value)) return;
        ++blocks;
        at_ += std::chrono::seconds(1);
        const LiveValues& values = decoder_.values();
        written_ += liveLogfmtLine(values, at_).size() + liveJsonObject(values, at_).size();
        for (const std::string& line :
             livePanelLines(values, "MPPT 75/15", std::chrono::seconds(blocks % 86400)))
          written_ += line.size();
        if (sink_ != nullptr) sink_->show(LiveBlock{values, at_}, charger_);
      });
    }
    return blocks;
  }
  std::size_t written() const { return written_; }

 private:
  TextSplitter splitter_;
  LiveDecoder decoder_;
  std::chrono::system_clock::time_point at_{std::chrono::seconds(1796733296)};
  std::size_t written_ = 0;
  WatchSink* sink_ = nullptr;
  WatchedCharger charger_{"/dev/ttyUSB0", 0xA042, "MPPT 75/15", "1.15", "HQ1234ABCDE"};
};

// A broker URL on a port of 127.0.0.1 that nothing listens on: a broker stopped the whole time.
std::string absentBroker() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return "mqtt://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

long residentKib() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Registered first: Google Benchmark's CSV output takes its counter columns from the first
// benchmark it reports, and only this one has counters.
void liveValuesMemory(benchmark::State& state) {
  const std::vector<std::string> blocks = dayBlocks();
  long after100 = 0, after100000 = 0;
  for (auto _ : state) {
    WatchPath watch;
    std::size_t fed = 0;
    for (; fed < 100; ++fed) watch.feed(blocks[fed % blocks.size()]);
    after100 = residentKib();
    for (; fed < 100000; ++fed) watch.feed(blocks[fed % blocks.size()]);
    after100000 = residentKib();
    benchmark::DoNotOptimize(watch.written());
  }
  // The same with the broker's output, unpaced: the publisher tries to connect all along (with
  // short pauses, so that it tries often), and the blocks must not pile up anywhere meanwhile.
  long mqttAfter100 = 0, mqttAfter100000 = 0;
  {
    MqttOptions options;
    options.url = absentBroker();
    const MqttSettings settings = makeMqttSettings(options);
    PublisherTimeouts timeouts;
    timeouts.reconnectFirst = std::chrono::milliseconds(10);
    timeouts.reconnectLongest = std::chrono::milliseconds(10);
    MqttSink sink(std::make_unique<MosquittoPublisher>(settings, timeouts), settings, true);
    WatchPath watch(&sink);
    std::size_t fed = 0;
    for (; fed < 100; ++fed) watch.feed(blocks[fed % blocks.size()]);
    // Once the publisher has tried and failed (its thread, its client and its first attempt set
    // up), so that what it sets up once is not counted as growth.
    for (int waited = 0; sink.takeMessages().empty() && waited < 5000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    mqttAfter100 = residentKib();
    for (; fed < 100000; ++fed) watch.feed(blocks[fed % blocks.size()]);
    mqttAfter100000 = residentKib();
    if (sink.published() != 0) state.SkipWithError("a block was published to no broker");
    sink.finish(0);
  }
  state.counters["rss_after_100_kib"] = static_cast<double>(after100);
  state.counters["rss_after_100000_kib"] = static_cast<double>(after100000);
  state.counters["mqtt_rss_after_100_kib"] = static_cast<double>(mqttAfter100);
  state.counters["mqtt_rss_after_100000_kib"] = static_cast<double>(mqttAfter100000);
}
// Once: a second run would start with the memory the first one left.
BENCHMARK(liveValuesMemory)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

void liveValuesPerBlock(benchmark::State& state) {
  const std::vector<std::string> blocks = dayBlocks();
  WatchPath watch;
  std::size_t next = 0, decoded = 0;
  for (auto _ : state) {
    decoded += watch.feed(blocks[next]);
    next = (next + 1) % blocks.size();
  }
  benchmark::DoNotOptimize(watch.written());
  if (decoded != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a block was not decoded");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(liveValuesPerBlock)->Unit(benchmark::kMicrosecond);

// Replies a charger sends while its settings are read: register values of 1, 2 and 4 bytes, a
// text register, pings and the odd unasked report. About 64 KiB.
std::string hexStream() {
  std::string stream;
  for (unsigned n = 0; stream.size() < 64 * 1024; ++n) {
    HexMsg reply;
    reply.append(7);  // get-register reply
    reply.append16(static_cast<std::uint16_t>(0xEDF0 + n % 16));
    reply.append(0);  // flags
    switch (n % 5) {
      case 0:
        reply.append(static_cast<std::uint8_t>(n));
        break;
      case 1:
        reply.append16(static_cast<std::uint16_t>(1440 + n));
        break;
      case 2:
        reply.append16(static_cast<std::uint16_t>(n));
        reply.append16(static_cast<std::uint16_t>(n * 7));
        break;
      case 3:
        for (char c : std::string("charger text register"))
          reply.append(static_cast<std::uint8_t>(c));
        break;
      default:
        reply.clear();
        reply.append(5);  // ping reply
        reply.append16(0x4115);
        break;
    }
    stream += reply.toText();
  }
  return stream;
}

// TEXT blocks of a charger with a load output, back to back, with a HEX reply now and then as on
// a line where both kinds meet. About 64 KiB.
std::string textStream() {
  const sim::Profile profile = sim::profileByName("load115");
  std::string stream;
  for (unsigned n = 0; stream.size() < 64 * 1024; ++n) {
    stream += sim::textBlock(profile.textLabels);
    if (n % 8 == 7) stream += ":7F0ED0000C3\n";
  }
  return stream;
}

void frameAssembler(benchmark::State& state) {
  const std::string stream = hexStream();
  std::size_t frames = 0;
  for (auto _ : state) {
    HexReceiver receiver;
    for (char c : stream) {
      if (receiver.feed(c)) ++frames;
    }
    benchmark::DoNotOptimize(frames);
  }
  if (frames == 0) state.SkipWithError("no frame assembled");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(frameAssembler);

void textSplitterWithPairs(benchmark::State& state) {
  const std::string stream = textStream();
  std::size_t pairs = 0;
  const PairSink sink = [&pairs](const std::string& label, const std::string& value) {
    pairs += !label.empty() && !value.empty();
  };
  for (auto _ : state) {
    TextSplitter splitter;
    for (char c : stream) {
      if (splitter.feed(c).validBlock) extractPairs(splitter.lastBlock(), sink);
    }
    benchmark::DoNotOptimize(pairs);
  }
  if (pairs == 0) state.SkipWithError("no pair extracted");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(textSplitterWithPairs);

void loadEmbeddedDefinitions(benchmark::State& state) {
  const boost::property_tree::ptree noSettings;
  for (auto _ : state) {
    VregTable table;
    vregsFromTree(noSettings, table);
    benchmark::DoNotOptimize(table);
  }
}
BENCHMARK(loadEmbeddedDefinitions)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
