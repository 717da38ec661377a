#include "link/text_splitter.h"

#include <boost/regex.hpp>
#include <utility>

namespace sunlink {

namespace {

// CR LF ends every line of a block, and the checksum line closes it.
const char kChecksumLine[] = "\r\nChecksum\t";
constexpr std::size_t kChecksumLineSize = sizeof kChecksumLine - 1;
constexpr std::uint8_t kCrLfSum = '\r' + '\n';

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
  static const boost::regex pairExpression("^\r\n([^\t]+)\t([^\r]+)");
  boost::smatch match;
  std::string::const_iterator start = block.begin();
  // Every search is a fresh one from where the last match ended, so "^" matches right there (the
  // next line's CR LF). Elsewhere "^" only matches at a line start, which in practice never leads
  // into a CR LF: a line that breaks the pattern ends the block's pairs.
  while (boost::regex_search(start, block.end(), match, pairExpression)) {
    sink(match[1].str(), match[2].str());
    start = match[0].second;
  }
}

}  // namespace sunlink
