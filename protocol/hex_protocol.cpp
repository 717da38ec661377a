#include "protocol/hex_protocol.h"

#include <algorithm>
#include <boost/format.hpp>
#include <boost/signals2/connection.hpp>
#include <iostream>
#include <memory>
#include <mutex>

#include "base/log.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/concurrent_queue.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

using ReplyQueue = concurrent_queue<HexMsg>;

HexMsg commandRequest(std::uint8_t command) {
  HexMsg request;
  request.append(command);
  return request;
}

HexMsg registerRequest(std::uint8_t command, std::uint16_t id) {
  HexMsg request = commandRequest(command);
  request.append16(id);
  request.append(0x00);  // flags
  return request;
}

// A reply of a code and a word: the word read after the code goes to word whatever the code; true
// when the code is the wanted one and the word was there.
bool readWordReply(HexMsg& reply, int wanted, std::uint16_t& word) {
  const std::uint8_t code = reply.read8();
  word = reply.read16();
  return code == wanted && reply.good();
}

}  // namespace

std::string setRefusalReason(std::uint8_t flags) {
  switch (flags) {
    case FLAGS_UNKNOWN_ID:
      return "unknown setting";
    case FLAGS_NOT_SUPPORTED:
      return "not supported (read-only)";
    case FLAGS_PARAMETER_ERROR:
      return "value not accepted";
    default:
      return (boost::format("flags 0x%02X") % static_cast<unsigned>(flags)).str();
  }
}

int transact(QmxSerial& link, const HexMsg& request, const std::vector<int>& accepted, int attempts,
             std::chrono::milliseconds timeout, HexMsg& reply, const ResendNotice& onResend) {
  std::lock_guard<std::recursive_mutex> lock(link.linkLock());

  // The queue is tracked by the connection: a frame the reader thread is delivering just as the
  // exchange ends still finds a live queue, and once the queue is gone the slot is skipped.
  auto queue = std::make_shared<ReplyQueue>();
  boost::signals2::scoped_connection connection = link.hexSignal.connect(
      decltype(link.hexSignal)::slot_type([raw = queue.get()](const HexMsg& frame) {
        raw->push(frame);
      }).track_foreign(queue));

  const int allAttempts = attempts;
  int result = kExchangeNoReply;
  while (attempts > 0) {
    // The previous attempt timed out: whoever waits at the terminal learns that the charger is
    // still being asked.
    if (result == kExchangeFailed && onResend) onResend(allAttempts - attempts + 1, allAttempts);
    --attempts;  // from here on, the attempts left
    const ReplyQueue::Clock::time_point deadline = ReplyQueue::Clock::now() + timeout;
    const int sent = link.send(request);
    if (sent != kExchangeOk) return sent;

    result = kExchangeNoReply;
    for (;;) {
      HexMsg message;
      if (!queue->waitAndPop(message, deadline)) {
        result = kExchangeFailed;
        break;
      }
      if (message.empty()) continue;
      const int code = message.read8();
      if (code == RSP_ERROR) {
        const std::uint16_t word = message.read16();
        if (!message.good()) continue;
        if (word == RECEPTION_ERROR_WORD) {
          // The charger got our request damaged: send it again, within the same budget.
          std::cerr << boost::format("Reception error received! attempts left: %u") % attempts;
          break;
        }
      }
      if (std::find(accepted.begin(), accepted.end(), code) != accepted.end()) {
        message.rewind();
        reply = message;
        return kExchangeOk;
      }
      // Anything else (TEXT-time HEX traffic, a reply meant for someone else): keep waiting for
      // the same deadline.
    }
  }
  return result;
}

ResendNotice announceResends(std::ostream& err, const std::string& what) {
  return [&err, what](int attempt, int attempts) {
    err << "no answer from the charger to the " << what << " write; trying again (attempt "
        << attempt << " of " << attempts << ")" << std::endl;
  };
}

bool HexProtocol::ping(std::uint16_t& version) {
  logInfo("hex_proto", "hex: ping");
  std::lock_guard<std::recursive_mutex> lock(link_.linkLock());
  HexMsg reply;
  if (transact(link_, commandRequest(CMD_PING), {RSP_PING}, 10, link_.timeouts.ping, reply) !=
      kExchangeOk)
    throw no_response() << tag_what("no response");
  return readWordReply(reply, RSP_PING, version);
}

bool HexProtocol::getDeviceId(std::uint16_t& productId) {
  logInfo("hex_proto", "hex: get device id");
  std::lock_guard<std::recursive_mutex> lock(link_.linkLock());
  HexMsg reply;
  if (transact(link_, commandRequest(CMD_GET_DEVICE_ID), {RSP_DEVICE_ID, RSP_UNKNOWN}, 3,
               link_.timeouts.deviceId, reply) != kExchangeOk)
    throw no_response();
  return readWordReply(reply, RSP_DEVICE_ID, productId);
}

int HexProtocol::getRegister(std::uint16_t id, HexMsg& reply, int attempts) {
  logInfo("hex_proto", "hex: get register (0x%04X)", id);
  std::lock_guard<std::recursive_mutex> lock(link_.linkLock());
  reply.clearState();
  const int result =
      transact(link_, registerRequest(CMD_GET_REGISTER, id), {RSP_GET, RSP_UNKNOWN, RSP_FAILED},
               attempts, link_.timeouts.getRegister, reply);
  if (result != kExchangeOk) return result;
  // The read position is left just after the flags, where the caller reads the value.
  const std::uint8_t code = reply.read8();
  const std::uint16_t echoedId = reply.read16();
  const std::uint8_t flags = reply.read8();
  if (!reply.good() || code != RSP_GET || echoedId != id) return kExchangeFailed;
  if (flags == FLAGS_UNKNOWN_ID) return kExchangeUnknownId;
  return flags == 0 ? kExchangeOk : kExchangeFailed;
}

bool HexProtocol::setRegister(std::uint16_t id, std::uint16_t value, const ResendNotice& onResend) {
  logInfo("hex_proto", "hex: set register (0x%04X=0x%04X)", id, value);
  std::lock_guard<std::recursive_mutex> lock(link_.linkLock());
  HexMsg request = registerRequest(CMD_SET_REGISTER, id);
  request.append16(value);
  HexMsg reply;
  if (transact(link_, request, {RSP_SET, RSP_UNKNOWN, RSP_FAILED}, 10, link_.timeouts.setRegister,
               reply, onResend) != kExchangeOk)
    throw no_response();
  // The echoed id is read but not compared: any acknowledged write counts here (restore, which
  // needs the match, checks it itself).
  const std::uint8_t code = reply.read8();
  reply.read16();
  const std::uint8_t flags = reply.read8();
  return code == RSP_SET && flags == 0 && reply.good();
}

bool HexProtocol::writeRegister(std::uint16_t id, const std::vector<std::uint8_t>& value,
                                std::uint8_t& refusalFlags, const ResendNotice& onResend) {
  refusalFlags = 0;
  std::lock_guard<std::recursive_mutex> lock(link_.linkLock());
  HexMsg request = registerRequest(CMD_SET_REGISTER, id);
  for (const std::uint8_t byte : value) request.append(byte);
  HexMsg reply;
  if (transact(link_, request, {RSP_SET, RSP_UNKNOWN, RSP_FAILED}, 10, link_.timeouts.setRegister,
               reply, onResend) != kExchangeOk)
    throw no_response();
  const std::uint8_t code = reply.read8();
  const std::uint16_t echoedId = reply.read16();
  const std::uint8_t flags = reply.read8();
  // Only an answer for this register says anything about the write.
  if (!reply.good() || code != RSP_SET || echoedId != id) return false;
  refusalFlags = flags;
  return flags == 0;
}

}  // namespace sunlink
