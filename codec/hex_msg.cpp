#include "codec/hex_msg.h"

namespace sunlink {

namespace {

// Value of an upper-case hex digit, or -1. Lower-case digits are not digits on this line: the
// charger writes upper case, and the frame assembler skips anything else.
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void HexMsg::appendHex(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = hexDigit(text[i]);
    int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return;
    append(static_cast<std::uint8_t>(high << 4 | low));
  }
}

bool HexMsg::read(std::uint8_t* out, std::size_t n) {
  if (!good_ || bytes_.size() - readPos_ < n) {
    good_ = false;
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = bytes_[readPos_ + i];
  readPos_ += n;
  return true;
}

std::uint8_t HexMsg::read8() {
  std::uint8_t b = 0;
  read(&b, 1);
  return b;
}

std::uint16_t HexMsg::read16() {
  std::uint8_t b[2] = {0, 0};
  if (!read(b, 2)) return 0;
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t HexMsg::read32() {
  std::uint8_t b[4] = {0, 0, 0, 0};
  if (!read(b, 4)) return 0;
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::string HexMsg::toText() const {
  if (bytes_.empty()) return std::string();
  std::string text;
  text.reserve(2 * bytes_.size() + 3);
  text.push_back(':');
  text.push_back(kHexDigits[bytes_[0] & 0x0F]);
  std::uint8_t sum = bytes_[0];
  for (std::size_t i = 1; i < bytes_.size(); ++i) {
    text.push_back(kHexDigits[bytes_[i] >> 4]);
    text.push_back(kHexDigits[bytes_[i] & 0x0F]);
    sum = static_cast<std::uint8_t>(sum + bytes_[i]);
  }
  const std::uint8_t check = static_cast<std::uint8_t>(0x55 - sum);
  text.push_back(kHexDigits[check >> 4]);
  text.push_back(kHexDigits[check & 0x0F]);
  text.push_back('\n');
  return text;
}

std::string HexMsg::valueString() const {
  std::string text;
  for (std::size_t i = 4; i + 1 < bytes_.size(); ++i) {
    if (bytes_[i] != 0) text.push_back(static_cast<char>(bytes_[i]));
  }
  return text;
}

bool HexReceiver::feed(char c) {
  if (c == ':') {
    counter_ = 1;
    sum_ = 0;
    pending_ = 0;
    msg_.clear();
    return false;
  }
  if (c == '\n') {
    const bool complete = counter_ != 0 && sum_ == 0x55;
    if (!complete) msg_.clear();
    counter_ = 0;
    return complete;
  }
  if (counter_ == 0) return false;
  const int d = hexDigit(c);
  if (d < 0) return false;  // CR, blanks, lower-case digits: skipped
  if (counter_ % 2 == 1) {
    // The first digit after ":" is the code byte on its own; later odd positions end a byte.
    const std::uint8_t byte = static_cast<std::uint8_t>(pending_ | d);
    sum_ = static_cast<std::uint8_t>(sum_ + byte);
    msg_.append(byte);
    ++counter_;
  } else if (counter_ > 200) {
    // The first digit of a 101st byte after the code: no frame is that long, drop the line.
    msg_.clear();
    counter_ = 0;
  } else {
    pending_ = static_cast<std::uint8_t>(d << 4);
    ++counter_;
  }
  return false;
}

}  // namespace sunlink
