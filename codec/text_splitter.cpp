#include "codec/text_splitter.h"

#include <regex>
#include <utility>

namespace sunlink {

namespace {

// CR LF ends every line of a block, and the checksum line closes it.
const char kChecksumLine[] = "\r\nChecksum\t";
constexpr std::size_t kChecksumLineSize = sizeof kChecksumLine - 1;
constexpr std::uint8_t kCrLfSum = '\r' + '\n';

// Where a line may start after pos: just after a CR, LF or form feed, but not between a CR and
// the LF that follows it. Only a start at a CR can begin a pair. Returns end when there is none.
std::string::const_iterator nextLineStart(std::string::const_iterator pos,
                                          std::string::const_iterator end) {
  for (auto q = pos + 1; q < end; ++q) {
    const char before = *(q - 1);
    if ((before == '\n' || before == '\r' || before == '\f') && *q == '\r') return q;
  }
  return end;
}

}  // namespace

TextSplitter::TextSplitter() {
  // Both buffers reach at most one byte past the limit; reserving once keeps the per-byte path
  // free of allocations.
  buffer_.reserve(kMaxBlock + 1);
  block_.reserve(kMaxBlock + 1);
}

TextSplitter::Outcome TextSplitter::feed(char b) {
  Outcome outcome;
  if (b == ':') {
    // A HEX frame starts; a partial TEXT block before it is given up. The frame's line end and
    // the CR LF that leads the next block are all swallowed after the frame, so a CR LF of our
    // own (with its sum) stands in for the latter.
    mode_ = inFrame;
    sum_ = kCrLfSum;
    buffer_.assign("\r\n");
  }
  if (mode_ != normal) {
    if (b == '\r' || b == '\n') {
      mode_ = afterFrame;
      return outcome;
    }
    if (mode_ == inFrame) return outcome;
    mode_ = normal;
  }

  sum_ = static_cast<std::uint8_t>(sum_ + static_cast<std::uint8_t>(b));
  buffer_.push_back(b);
  const std::size_t length = buffer_.size();

  // The byte before a checksum byte is the TAB that ends "Checksum": testing it first keeps the
  // whole comparison off all but one byte a line.
  if (length > kChecksumLineSize && buffer_[length - 2] == '\t' &&
      buffer_.compare(length - 1 - kChecksumLineSize, kChecksumLineSize, kChecksumLine) == 0) {
    // This byte is the checksum byte: the block is complete.
    if (sum_ == 0)
      outcome.validBlock = true;
    else
      outcome.badChecksum = true;
    block_.swap(buffer_);
    buffer_.clear();
    sum_ = 0;
  }
  // Measured before the block end emptied the buffer, so a block ending at byte 1025 is delivered
  // and still counted as too long.
  if (length > kMaxBlock) {
    outcome.badLength = true;
    buffer_.clear();
    sum_ = 0;
  }
  return outcome;
}

void extractPairs(const std::string& block, const PairSink& sink) {
  // One line: CR LF, the label up to the TAB, the value up to the next CR. A label without a TAB
  // runs on over its line end into the next line.
  static const std::regex pairExpression("\r\n([^\t]+)\t([^\r]+)");
  std::smatch match;
  std::string::const_iterator pos = block.begin();
  // Every search is a fresh one from where the last match ended, so a pair may start right there
  // (the next line's CR LF). Past a line that breaks the pattern (an empty value) a pair may only
  // start at a later line start, which a charger's block never has: such a line ends its pairs.
  while (pos != block.end()) {
    if (std::regex_search(pos, block.end(), match, pairExpression,
                          std::regex_constants::match_continuous)) {
      sink(match[1].str(), match[2].str());
      pos = match[0].second;
    } else {
      pos = nextLineStart(pos, block.end());
    }
  }
}

}  // namespace sunlink
