// HEX request/reply exchanges over a link: ping, get device id, get register, set register, and
// transact beneath them. Every operation takes the link lock for its whole duration. Deadlines are
// absolute points on the monotonic clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "codec/hex_msg.h"

namespace sunlink {

class QmxSerial;

// Sends request and waits for a reply whose code is in accepted, skipping every other frame;
// resends on time-out and on the charger's reception-error report (code 2, word 0xAAAA, which also
// writes "Reception error received! attempts left: %u" on standard error). Returns 0 with reply
// holding the matching message (read position at its start), -2 when no acceptable reply came, -3
// on a time-out or an incomplete write. onResend, when given, is called before each resend that
// follows an attempt the charger left unanswered, with the number of the attempt about to be made
// (2 for the first resend) and the number of attempts in all.
using ResendNotice = std::function<void(int attempt, int attempts)>;
int transact(QmxSerial& link, const HexMsg& request, const std::vector<int>& accepted, int attempts,
             std::chrono::milliseconds timeout, HexMsg& reply,
             const ResendNotice& onResend = ResendNotice());
// A ResendNotice for a write: one line on err per resend, "no answer from the charger to the
// absorption_voltage write; trying again (attempt 3 of 10)", for the write named what.
ResendNotice announceResends(std::ostream& err, const std::string& what);

// The charger's reason for a set reply with these flags, for the user: "unknown setting", "not
// supported (read-only)", "value not accepted"; "flags 0x%02X" for any other flags.
std::string setRefusalReason(std::uint8_t flags);

// A client bound to one link (not owned; the link must outlive it). Main thread.
class HexProtocol {
 public:
  explicit HexProtocol(QmxSerial& link) : link_(link) {}

  // Up to 10 attempts of the link's ping time-out. True when the reply has code 5 and a word; the
  // word read after the code goes to version whatever the code. Throws no_response ("no response").
  bool ping(std::uint16_t& version);
  // Up to 3 attempts. True for code 1 with a word. Throws no_response (no text).
  bool getDeviceId(std::uint16_t& productId);
  // Up to 3 attempts (or as many as given). 0 when the reply echoes id with flags 0: reply's read
  // position is then just after the flags byte. kExchangeUnknownId when it echoes id with flags
  // exactly FLAGS_UNKNOWN_ID (the charger has no such register). -3 for a refusal, other flags or
  // a mismatch, otherwise transact's result. Never throws no_response.
  int getRegister(std::uint16_t id, HexMsg& reply, int attempts = 3);
  // Up to 10 attempts. True for code 8 with flags 0. Throws no_response (no text). onResend as for
  // transact.
  bool setRegister(std::uint16_t id, std::uint16_t value,
                   const ResendNotice& onResend = ResendNotice());
  // Writes a raw value into register id, with up to 10 attempts: value holds its bytes least
  // significant first, as many as the register is wide (1, 2 or 4 for the charger's settings), and
  // they go on the wire in that order. True when the charger acknowledged this very register with
  // flags 0. Otherwise false, with refusalFlags the flags of a reply that refused this register (0
  // when the reply was for another register, cut short, or the charger's "unknown" or "failed"
  // answer). Throws no_response (no text) when it never answered. Logs nothing of its own: the
  // caller names the setting it writes. onResend as for transact.
  bool writeRegister(std::uint16_t id, const std::vector<std::uint8_t>& value,
                     std::uint8_t& refusalFlags, const ResendNotice& onResend = ResendNotice());

  QmxSerial& link() { return link_; }

 private:
  QmxSerial& link_;
};

}  // namespace sunlink
