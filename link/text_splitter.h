// Cuts the received byte stream into TEXT blocks and hands out their label/value pairs.
// Pure state machine, fed one byte at a time after the HEX assembler has seen it. Used by the
// link's reader thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sunlink {

class TextSplitter {
 public:
  enum class Event { none, block, badChecksum, badLength };
  using PairSink = std::function<void(const std::string& label, const std::string& value)>;

  // Feeds one byte. For a complete valid block every pair goes to sink, in order, before feed
  // returns Event::block. A byte can end a block and also exceed the length limit: then the block
  // is processed and badLength is reported after it (see the .cpp).
  // TODO(link owner): finalise this interface.
  Event feed(char b, const PairSink& sink);

 private:
  std::uint8_t mode_ = 0;  // 0 normal, 1 after-frame, 2 in-frame
  std::uint8_t sum_ = 0;
  std::string buffer_;
};

// Splits one block's text into its pairs with the expression "^\r\n([^\t]+)\t([^\r]+)".
void extractPairs(const std::string& block, const TextSplitter::PairSink& sink);

}  // namespace sunlink
