// Arbitrary bytes into the TEXT splitter and pair extraction: no block longer than the limit is
// ever handed out, and every pair has a non-empty label without TAB and a value without CR.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/text_splitter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sunlink::TextSplitter splitter;
  for (std::size_t i = 0; i < size; ++i) {
    const sunlink::TextSplitter::Outcome outcome = splitter.feed(static_cast<char>(data[i]));
    if (!outcome.validBlock) continue;
    const std::string& block = splitter.lastBlock();
    if (block.size() > sunlink::TextSplitter::kMaxBlock + 1) std::abort();
    sunlink::extractPairs(block, [](const std::string& label, const std::string& value) {
      if (label.empty() || value.empty()) std::abort();
      if (label.find('\t') != std::string::npos || value.find('\r') != std::string::npos)
        std::abort();
    });
  }
  return 0;
}
