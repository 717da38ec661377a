// Micro-benchmarks of the receive path and of start-up work: the HEX frame assembler and the TEXT
// splitter (with pair extraction) are fed a realistic stream byte by byte, as the reader thread
// feeds them; the embedded definition document is parsed into a table, as every run does once.
#include <benchmark/benchmark.h>

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <string>

#include "codec/hex_msg.h"
#include "codec/text_splitter.h"
#include "settings/settings_file.h"
#include "settings/vreg_table.h"
#include "sim/charger_sim.h"
#include "sim/profiles.h"

namespace {

using namespace sunlink;

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
