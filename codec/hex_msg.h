// One HEX message of the charger's request/reply protocol, and the assembler that turns received
// characters back into messages.
//
// Frame text: ":" + the code as one hex digit + every further byte as two upper-case hex digits +
// a checksum byte making all bytes add up to 0x55 + LF. A received message keeps its checksum byte
// as its last byte. Multi-byte numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sunlink {

class HexMsg {
 public:
  HexMsg() = default;
  // A copy reads from the start; an assignment takes the source's positions too.
  HexMsg(const HexMsg& other) : bytes_(other.bytes_), good_(other.good_) {}
  HexMsg& operator=(const HexMsg& other) = default;

  void append(std::uint8_t byte) { bytes_.push_back(byte); }
  void append16(std::uint16_t word) {
    append(static_cast<std::uint8_t>(word & 0xFF));
    append(static_cast<std::uint8_t>(word >> 8));
  }
  // Appends the bytes written as pairs of hex digits ("0A1B" appends 0x0A then 0x1B). Only 0-9 and
  // upper-case A-F are digits; the first other character ends the conversion; an unpaired last
  // digit is dropped.
  void appendHex(const std::string& text);

  // Reads advance the read position; reading past the end puts the message into the failed state,
  // and every later read fails too. Callers test good() after a series of reads.
  bool read(std::uint8_t* out, std::size_t n);
  std::uint8_t read8();
  std::uint16_t read16();
  std::uint32_t read32();
  bool good() const { return good_; }
  void rewind() {
    if (good_) readPos_ = 0;
  }
  void clearState() { good_ = true; }

  // Frame text of the message with its checksum, ":...\n"; empty text for an empty message.
  std::string toText() const;
  // Bytes from index 4 up to (not including) the last byte, NULs left out: the text value of a
  // get-register reply (code, id, flags first; checksum byte last).
  std::string valueString() const;

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  std::size_t readPosition() const { return readPos_; }
  void clear() {
    bytes_.clear();
    readPos_ = 0;
    good_ = true;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t readPos_ = 0;
  bool good_ = true;
};

// Assembles HEX frames from received characters, one call per character. Not thread-safe: the
// link's reader thread is its only user. The completed message is reused for the next frame, so a
// receiver of frame() must copy what it keeps.
class HexReceiver {
 public:
  // Returns true when c completed a frame whose bytes add up to 0x55; frame() then holds it.
  bool feed(char c);
  const HexMsg& frame() const { return msg_; }

 private:
  unsigned counter_ = 0;  // 0: no frame being assembled; odd: the next digit completes a byte
  std::uint8_t sum_ = 0;
  std::uint8_t pending_ = 0;
  HexMsg msg_;
};

}  // namespace sunlink
