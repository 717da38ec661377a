// Cuts the received byte stream into TEXT blocks.
//
// A TEXT block runs from the end of the previous block up to and including the byte after
// "\r\nChecksum\t"; it is valid when all its bytes add up to 0 modulo 256. HEX frames share the
// wire: a ":" starts a frame, whose characters are kept out of the TEXT block, and the block after
// the frame starts afresh (the partial block before it is lost).
//
// Pure state machine fed one byte at a time (after the HEX assembler has seen the byte). Owns its
// buffers; no threads, no I/O. The link's reader thread is its only user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sunlink {

class TextSplitter {
 public:
  // Longest block kept; a buffer that grows past it is dropped.
  static constexpr std::size_t kMaxBlock = 1024;

  // What one byte did. A byte can both end a block and take the buffer past kMaxBlock (a block
  // ending exactly at byte 1025): the block is reported first, then the length.
  struct Outcome {
    bool validBlock = false;   // a block ended with a good sum: lastBlock() holds it
    bool badChecksum = false;  // a block ended with a bad sum and was dropped
    bool badLength = false;    // the buffer outgrew kMaxBlock and was dropped
  };

  TextSplitter();

  Outcome feed(char b);

  // Text of the block that ended last (valid or not), until the next block ends.
  const std::string& lastBlock() const { return block_; }

 private:
  enum Mode : std::uint8_t { normal = 0, afterFrame = 1, inFrame = 2 };

  Mode mode_ = normal;
  std::uint8_t sum_ = 0;  // wrapping sum of buffer_
  std::string buffer_;    // the block being assembled
  std::string block_;     // the block that ended last
};

using PairSink = std::function<void(const std::string& label, const std::string& value)>;

// Hands every label/value pair of a block to sink, in block order. Pairs are the matches of
// "^\r\n([^\t]+)\t([^\r]+)", each search starting where the previous match ended; the first search
// that finds nothing ends the block's pairs. The checksum line yields ("Checksum", checksum byte)
// as the last pair unless that byte is CR.
void extractPairs(const std::string& block, const PairSink& sink);

}  // namespace sunlink
