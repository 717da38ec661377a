// Arbitrary bytes through the watch's path: the TEXT splitter, pair extraction, the live-value
// decoder and the three forms. A record is complete exactly at each block's Checksum pair, every
// number it holds fits the charger's 32 bits, the logfmt line and the panel carry no byte a
// terminal would act on, and the JSON object reads back as one object with the same time.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "codec/live_values.h"
#include "codec/text_splitter.h"
#include "protocol/live_forms.h"

namespace {

// Control characters, as shown text never holds them (bytes from 0x80 may be UTF-8).
bool hasControl(const std::string& text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

void checkForms(const sunlink::LiveValues& values) {
  for (const auto& value : values.values) {
    if (value && (*value < -2147483648LL || *value > 4294967295LL)) std::abort();
  }
  const std::chrono::system_clock::time_point at{std::chrono::seconds(1796733296)};
  if (hasControl(sunlink::liveLogfmtLine(values, at))) std::abort();
  for (const std::string& line : sunlink::livePanelLines(values, "MPPT 75/15", {})) {
    if (hasControl(line)) std::abort();
  }
  const nlohmann::json object = nlohmann::json::parse(sunlink::liveJsonObject(values, at));
  if (!object.is_object() || object.at("time") != "2026-12-08T12:34:56Z") std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sunlink::TextSplitter splitter;
  sunlink::LiveDecoder decoder;
  for (std::size_t i = 0; i < size; ++i) {
    if (!splitter.feed(static_cast<char>(data[i])).validBlock) continue;
    sunlink::extractPairs(splitter.lastBlock(),
                          [&](const std::string& label, const std::string& value) {
                            if (decoder.feed(label, value) != (label == "Checksum")) std::abort();
                            if (label == "Checksum") checkForms(decoder.values());
                          });
  }
  return 0;
}
