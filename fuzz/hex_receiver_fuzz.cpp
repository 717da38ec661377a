// Arbitrary bytes into the HEX frame assembler. Every frame it completes must be one the charger
// could have sent: at most 101 bytes, adding up to 0x55, and rendering back to frame text that
// assembles to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "codec/hex_msg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sunlink::HexReceiver receiver;
  for (std::size_t i = 0; i < size; ++i) {
    if (!receiver.feed(static_cast<char>(data[i]))) continue;
    const sunlink::HexMsg& frame = receiver.frame();
    if (frame.empty() || frame.size() > 101) std::abort();
    std::uint8_t sum = 0;
    for (std::uint8_t b : frame.bytes()) sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0x55) std::abort();
    // The frame without its checksum byte renders to text that assembles back to the same frame
    // (the code byte keeps only its low nibble on the line).
    if (frame.bytes()[0] > 0x0F || frame.size() < 2) continue;
    sunlink::HexMsg body;
    for (std::size_t k = 0; k + 1 < frame.size(); ++k) body.append(frame.bytes()[k]);
    sunlink::HexReceiver again;
    bool complete = false;
    for (char c : body.toText()) complete = again.feed(c);
    if (!complete || again.frame().bytes() != frame.bytes()) std::abort();
  }
  return 0;
}
