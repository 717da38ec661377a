#include "sim/charger_sim.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/pty.h"
#include "protocol/registers.h"
#include "sim/sunny_day.h"

namespace sunlink {
namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// One byte on the line: start bit, 8 data bits, stop bit at 19200 baud.
constexpr std::chrono::nanoseconds kBytePeriod{1000000000LL * 10 / 19200};

// Registers whose current value survives a reset to factory defaults: they are commands and
// states, not settings.
bool isCommandRegister(std::uint16_t id) {
  return id == REG_RESTORE_DEFAULTS || id == REG_CLEAR_HISTORY || id == REG_CLOCK ||
         id == REG_DEVICE_MODE_UNLOCK || id == REG_DEVICE_MODE;
}

// Frame text of a received message, whose last byte is its checksum, without the line end.
std::string receivedFrameText(const HexMsg& frame) {
  if (frame.size() < 2) return ":";
  HexMsg body;
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) body.append(frame.bytes()[i]);
  std::string text = body.toText();
  text.pop_back();
  return text;
}

HexMsg message(std::uint8_t code) {
  HexMsg msg;
  msg.append(code);
  return msg;
}

HexMsg registerReply(std::uint8_t code, std::uint16_t id, std::uint8_t flags,
                     const RegisterBytes& value) {
  HexMsg msg = message(code);
  msg.append16(id);
  msg.append(flags);
  for (std::uint8_t b : value) msg.append(b);
  return msg;
}

// The charger's report of a request that arrived damaged.
HexMsg receptionError() {
  HexMsg msg = message(RSP_ERROR);
  msg.append16(RECEPTION_ERROR_WORD);
  return msg;
}

HexMsg refusal(std::uint16_t id) {
  HexMsg msg = message(RSP_UNKNOWN);
  msg.append16(id);
  return msg;
}

// A byte that would upset the program's TEXT splitter if it closed a block: ":" starts a HEX frame
// (the block is lost without trace), CR ends the checksum line's value early.
bool awkwardChecksumByte(char c) { return c == ':' || c == '\r' || c == '\n'; }

using TextLabels = std::vector<std::pair<std::string, std::string>>;

// Gives the block these values, each in its label's place; a label the block lacks goes after the
// one placed before it. Labels the profile fixes keep their values.
void putLabels(TextLabels& labels, const std::set<std::string>& fixed, const TextLabels& values) {
  std::size_t next = labels.size();
  for (const auto& pair : values) {
    auto it = std::find_if(labels.begin(), labels.end(),
                           [&](const auto& entry) { return entry.first == pair.first; });
    if (it != labels.end()) {
      if (!fixed.count(pair.first)) it->second = pair.second;
      next = static_cast<std::size_t>(it - labels.begin()) + 1;
    } else {
      labels.insert(labels.begin() + static_cast<std::ptrdiff_t>(next), pair);
      ++next;
    }
  }
}

// What the load output draws: its current while it is on.
int loadMilliamps(const TextLabels& labels) {
  bool on = false;
  int current = 0;
  for (const auto& pair : labels) {
    if (pair.first == "LOAD") on = pair.second == "ON";
    if (pair.first == "IL") current = std::atoi(pair.second.c_str());
  }
  return on ? current : 0;
}

// A 16-bit register's value, or the fallback when the charger has no such register.
int registerWord(const std::map<std::uint16_t, RegisterBytes>& registers, std::uint16_t id,
                 int fallback) {
  auto it = registers.find(id);
  if (it == registers.end() || it->second.size() != 2) return fallback;
  return it->second[0] | it->second[1] << 8;
}

}  // namespace

namespace {

// A whole TEXT block of these labels whose checksum byte cannot break it on the line: the battery
// voltage ("V") is nudged by a few millivolts until it does not.
std::string lineSafeTextBlock(std::vector<std::pair<std::string, std::string>> labels) {
  auto voltage = std::find_if(labels.begin(), labels.end(),
                              [](const auto& pair) { return pair.first == "V"; });
  for (long wander = 0;; ++wander) {
    if (voltage != labels.end()) voltage->second = std::to_string(12760 + wander);
    std::string block = textBlock(labels);
    if (voltage == labels.end() || !awkwardChecksumByte(block.back())) return block;
  }
}

}  // namespace

std::string textBlock(const std::vector<std::pair<std::string, std::string>>& labels,
                      bool damaged) {
  std::string block;
  for (const auto& pair : labels) {
    block += "\r\n";
    block += pair.first;
    block += '\t';
    block += pair.second;
  }
  block += "\r\nChecksum\t";
  std::uint8_t sum = 0;
  for (char c : block) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
  std::uint8_t check = static_cast<std::uint8_t>(0x100 - sum);
  if (damaged) ++check;
  block += static_cast<char>(check);
  return block;
}

struct ChargerSim::Impl {
  Impl(const Profile& p, const Faults& f) : profile(p), faults(f), registers(p.registers) {
    chargerOn = deviceModeOn(p.registers);
  }

  static bool deviceModeOn(const std::map<std::uint16_t, RegisterBytes>& regs) {
    auto it = regs.find(REG_DEVICE_MODE);
    return it == regs.end() || it->second.empty() || it->second[0] != DEVICE_MODE_OFF;
  }

  // The answering thread: one turn of the loop reads what arrived, answers it, moves due output
  // to the line and sleeps until the next thing is due.
  void run();
  // false when the line is unplugged (by a fault or by unplug()) and the thread must end.
  bool readRequests(Clock::time_point now);
  void releaseHeldReplyIfAsked(Clock::time_point now);
  void takeDueReplies(Clock::time_point now, unsigned session);
  void makeTextBlocks(Clock::time_point now);
  void writeOutput(Clock::time_point now);
  void waitForWork();
  void publishProgramPresence();

  void feed(char c, Clock::time_point now);
  void onFrame(const HexMsg& frame, Clock::time_point now);
  void onDamaged(Clock::time_point now);
  // Under mutex: the reply to a good request, applying the faults; none when it stays silent.
  std::optional<HexMsg> decide(const HexMsg& frame);
  HexMsg answer(const HexMsg& frame);
  HexMsg setRegister(std::uint16_t id, const RegisterBytes& value);
  bool silentNow(int requestNumber) const;
  // Under mutex: the whole text of a reply (with the garbage and async frame in front), or none
  // when the reply is dropped.
  std::optional<std::string> package(const HexMsg& reply);
  // Under mutex: what the profile's line habits put before this reply (Profile::textBeforeReplies
  // and the fields after it).
  std::string lineHabitsBefore(const HexMsg& reply);
  // hold: the reply is kept in output.held instead of being queued (Faults::holdReplyOnRegister).
  void queueReply(const std::optional<std::string>& text, Clock::time_point now, bool hold = false);
  std::string nextTextBlock(Clock::time_point now);
  void refreshLineSettings();
  // at is the time the pacing of these bytes starts from (taken before they were read), so that
  // the span from the first byte received to the last sent is never shorter than the wire time.
  void countReceived(std::size_t n, Clock::time_point at) {
    std::lock_guard<std::mutex> lock(mutex);
    if (records.bytesReceived == 0) records.firstReceivedAt = at;
    records.bytesReceived += n;
  }
  // A copy of a member that mutex guards, for the public accessors.
  template <typename T>
  T locked(const T& member) const {
    std::lock_guard<std::mutex> lock(mutex);
    return member;
  }
  void countSent(std::size_t n) {
    if (n == 0) return;
    const Clock::time_point at = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    records.bytesSent += n;
    records.lastSentAt = at;
  }

  const Profile& profile;

  // Set by start before the thread runs and reset by stop after it is joined; the thread uses it,
  // other threads only call wake() on it.
  std::unique_ptr<PtyPair> pty;
  std::thread thread;
  std::string slavePath;
  std::atomic<bool> stopping{false};
  std::atomic<bool> unplugRequested{false};
  std::atomic<bool> unplugged{false};
  std::atomic<bool> faultsChanged{true};
  std::atomic<bool> releaseHeld{false};  // set by releaseHeldReply

  // What the charger has seen and done, for the tests; clearRecords starts them again.
  struct Records {
    std::vector<HexMsg> requests;
    std::vector<Write> writes;
    std::size_t damagedRequests = 0;
    std::size_t replies = 0;
    std::size_t textBlocks = 0;
    // Bytes that crossed the line: read from the program, and written to it (replies, garbage,
    // unasked frames and TEXT alike).
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;
    Clock::time_point firstReceivedAt{};  // when the first of bytesReceived was read
    Clock::time_point lastSentAt{};       // when the last of bytesSent was written
    int factoryResets = 0;
    int historyClears = 0;
  };

  // Fault bookkeeping since the faults were set; setFaults starts it again.
  struct FaultCounts {
    int requestsSeen = 0;
    int deviceIdRequests = 0;
    int repliesDropped = 0;
    bool registerSilenceTriggered = false;
    int registerSilenceLeft = 0;
    bool replyHoldTriggered = false;
    int blocksSinceFaults = 0;
    bool cutTextSent = false;  // Profile::cutTextBeforeFirstPing
  };

  // mutex guards everything down to trafficLog; handled is signalled when a request is handled.
  mutable std::mutex mutex;
  mutable std::condition_variable handled;
  Faults faults;
  FaultCounts counts;
  std::map<std::uint16_t, RegisterBytes> registers;
  bool chargerOn = true;
  Records records;
  bool replyHeld = false;    // a reply waits in output.held
  bool programOpen = false;  // as the simulator thread last saw it
  std::function<void(const std::string&)> trafficLog;

  // The rest belongs to the simulator thread alone.

  // The requests coming in.
  struct Input {
    HexReceiver receiver;
    bool inFrame = false;
    std::size_t frameChars = 0;    // characters of the frame being received, ":" included
    Clock::time_point lineFreeAt;  // at line rate: when the last request finished arriving
    bool unplugNow = false;        // a fault unplugs the line at this request
  };

  struct Pending {
    Clock::time_point due;
    std::string text;
    unsigned session;  // lastPeerCloses() when the request was read
  };

  // What goes out to the program.
  struct Output {
    std::deque<Pending> pending;  // replies waiting for their latency, in order of arrival
    std::optional<Pending> held;  // Faults::holdReplyOnRegister
    std::string text;             // bytes being written: whole replies and whole blocks
    unsigned session = 0;         // the session text was made for
    bool writeBlocked = false;    // the terminal took no more of text last time
    // At line rate: when the next byte of text has been on the wire for its whole 10 bits, so
    // that the program may have it. A byte is handed over only then, as a UART hands over a byte
    // after its stop bit.
    Clock::time_point nextByteAt;
    // nextByteAt for the first byte of output that starts now on an idle line.
    Clock::time_point firstByteDone(Clock::time_point now) const {
      return std::max(nextByteAt, now + kBytePeriod);
    }
    Clock::time_point nextTextAt;
    unsigned blockNumber = 0;
    Clock::time_point startedAt;  // sunrise of the simulated day (Faults::dayLength)
  };

  // Copies of the line-related faults, refreshed when faultsChanged is set.
  struct LineSettings {
    std::chrono::milliseconds latency{0};
    std::chrono::milliseconds textInterval{0};
    bool paced = false;
    bool flood = false;
  };

  Input input;
  Output output;
  LineSettings line;
  bool programSeen = false;  // programOpen as last published
};

void ChargerSim::Impl::refreshLineSettings() {
  std::lock_guard<std::mutex> lock(mutex);
  line.latency = faults.latency;
  line.textInterval = faults.textInterval;
  line.flood = faults.textFlood && !profile.textLabels.empty();
  // A flood is defined by the line rate; unpaced it would only fill the terminal's buffer.
  line.paced = faults.paceAtLineRate || line.flood;
}

void ChargerSim::Impl::run() {
  // At line rate every reply byte waits for its moment on the wire; a late wake-up would make the
  // line slower than 19200 baud.
  requestPreciseWakeUps();
  try {
    const Clock::time_point started = Clock::now();
    output.startedAt = started;
    output.nextByteAt = started;
    output.nextTextAt = started;
    while (!stopping.load()) {
      if (faultsChanged.exchange(false)) {
        refreshLineSettings();
        output.nextTextAt = Clock::now() + line.textInterval;
      }
      const Clock::time_point now = Clock::now();
      if (!readRequests(now)) break;
      // A reply to a program that has closed the path since is for nobody; nor is the rest of
      // a block or reply under way when it closed.
      const unsigned session = pty->lastPeerCloses();
      if (output.session != session) {
        output.text.clear();
        output.session = session;
      }
      releaseHeldReplyIfAsked(now);
      takeDueReplies(now, session);
      makeTextBlocks(now);
      writeOutput(now);
      waitForWork();
      publishProgramPresence();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "chgsim: %s\n", e.what());
    unplugged = true;
  }
}

bool ChargerSim::Impl::readRequests(Clock::time_point now) {
  char buffer[512];
  for (std::size_t n; (n = pty->read(buffer, sizeof buffer)) > 0;) {
    countReceived(n, now);
    for (std::size_t i = 0; i < n && !input.unplugNow; ++i) feed(buffer[i], now);
    if (input.unplugNow) break;
  }
  if (input.unplugNow || unplugRequested.load()) {
    unplugged = true;  // first, so that whoever sees the line end finds the flag set
    pty->closeMaster();
    return false;
  }
  return true;
}

void ChargerSim::Impl::releaseHeldReplyIfAsked(Clock::time_point now) {
  if (!output.held || !releaseHeld.exchange(false)) return;
  output.held->due = now;
  output.pending.push_front(*output.held);  // the oldest: the program waits for it before asking
  output.held.reset();
  std::lock_guard<std::mutex> lock(mutex);
  replyHeld = false;
}

void ChargerSim::Impl::takeDueReplies(Clock::time_point now, unsigned session) {
  while (!output.pending.empty() && output.pending.front().due <= now) {
    if (output.text.empty()) output.nextByteAt = output.firstByteDone(now);
    if (output.pending.front().session == session) output.text += output.pending.front().text;
    output.pending.pop_front();
  }
}

void ChargerSim::Impl::makeTextBlocks(Clock::time_point now) {
  // TEXT goes out only while somebody listens; an unheard block is not worth making.
  if (!profile.textLabels.empty() && !profile.silent && pty->hasPeers()) {
    if (line.flood) {
      if (output.text.empty() && (output.pending.empty() || output.pending.front().due > now)) {
        output.nextByteAt = output.firstByteDone(now);
        output.text = nextTextBlock(now);
      }
    } else if (line.textInterval.count() > 0 && now >= output.nextTextAt) {
      if (output.text.empty()) output.nextByteAt = output.firstByteDone(now);
      output.text += nextTextBlock(now);
      output.nextTextAt = std::max(output.nextTextAt + line.textInterval, now);
    }
  } else if (now >= output.nextTextAt && line.textInterval.count() > 0) {
    output.nextTextAt = std::max(output.nextTextAt + line.textInterval, now);
  }
}

void ChargerSim::Impl::writeOutput(Clock::time_point now) {
  std::string& text = output.text;
  if (!pty->hasPeers()) {
    text.clear();  // nobody listens: the bytes go nowhere, as on an open line
  } else if (!text.empty()) {
    if (line.paced) {
      // Catch up after a late wake-up, but never burst after a long stall.
      if (output.nextByteAt + 10 * kBytePeriod < now) output.nextByteAt = now;
      std::size_t written = 0;
      output.writeBlocked = false;
      while (written < text.size() && output.nextByteAt <= now) {
        if (pty->write(text.data() + written, 1) == 0) {
          output.writeBlocked = true;
          break;
        }
        ++written;
        output.nextByteAt += kBytePeriod;
      }
      countSent(written);
      text.erase(0, written);
    } else {
      const std::size_t written = pty->write(text.data(), text.size());
      countSent(written);
      text.erase(0, written);
      output.writeBlocked = !text.empty();
    }
  }
}

void ChargerSim::Impl::waitForWork() {
  const Clock::time_point now = Clock::now();
  const bool writing = !output.text.empty();
  Clock::time_point wakeAt = now + std::chrono::seconds(1);
  if (!output.pending.empty()) wakeAt = std::min(wakeAt, output.pending.front().due);
  if (line.textInterval.count() > 0 && !line.flood) wakeAt = std::min(wakeAt, output.nextTextAt);
  if (writing && line.paced && !output.writeBlocked) wakeAt = std::min(wakeAt, output.nextByteAt);
  if (line.flood && !writing && pty->hasPeers()) wakeAt = now;
  const bool wantWrite = writing && (!line.paced || output.writeBlocked);
  pty->wait(wakeAt - now, wantWrite);
}

void ChargerSim::Impl::publishProgramPresence() {
  if (pty->hasPeers() == programSeen) return;
  programSeen = pty->hasPeers();
  {
    std::lock_guard<std::mutex> lock(mutex);
    programOpen = programSeen;
  }
  handled.notify_all();
}

void ChargerSim::Impl::feed(char c, Clock::time_point now) {
  if (c == ':') {
    input.inFrame = true;
    input.frameChars = 0;
  }
  ++input.frameChars;
  const bool complete = input.receiver.feed(c);
  if (c != '\n') return;
  const bool wasFrame = input.inFrame;
  input.inFrame = false;
  if (complete) {
    onFrame(input.receiver.frame(), now);
  } else if (wasFrame) {
    onDamaged(now);
  }
}

bool ChargerSim::Impl::silentNow(int requestNumber) const {
  if (faults.silentAfter < 0 || requestNumber <= faults.silentAfter) return false;
  return faults.resumeAfter < 0 || requestNumber <= faults.resumeAfter;
}

void ChargerSim::Impl::onFrame(const HexMsg& frame, Clock::time_point now) {
  std::optional<std::string> text;
  std::function<void(const std::string&)> logTo;
  bool hold = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    records.requests.push_back(frame);
    ++counts.requestsSeen;
    std::optional<HexMsg> reply = decide(frame);
    if (reply) text = package(*reply);
    const auto& bytes = frame.bytes();
    if (text && faults.holdReplyOnRegister >= 0 && !counts.replyHoldTriggered &&
        bytes.size() >= 4 &&
        (bytes[0] == CMD_SET_REGISTER || (bytes[0] == CMD_GET_REGISTER && !faults.holdOnSetOnly)) &&
        (bytes[1] | bytes[2] << 8) == faults.holdReplyOnRegister) {
      counts.replyHoldTriggered = true;
      replyHeld = hold = true;
    }
    logTo = trafficLog;
  }
  handled.notify_all();
  if (logTo) {
    logTo(">> " + receivedFrameText(frame));
    logTo(text ? "<< " + text->substr(0, text->size() - 1) : "   (no reply)");
  }
  queueReply(text, now, hold);
}

void ChargerSim::Impl::onDamaged(Clock::time_point now) {
  std::optional<std::string> text;
  std::function<void(const std::string&)> logTo;
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++records.damagedRequests;
    // A damaged frame gets the charger's reception-error report unless it is silent just now.
    if (!profile.silent && !silentNow(counts.requestsSeen + 1) && counts.registerSilenceLeft == 0 &&
        !(faults.unplugAfter >= 0 && counts.requestsSeen >= faults.unplugAfter)) {
      text = package(receptionError());
    }
    logTo = trafficLog;
  }
  handled.notify_all();
  if (logTo) logTo(">> (damaged frame)");
  queueReply(text, now);
}

std::optional<HexMsg> ChargerSim::Impl::decide(const HexMsg& frame) {
  if (profile.silent) return std::nullopt;
  const int n = counts.requestsSeen;
  if (faults.unplugAfter >= 0 && n > faults.unplugAfter) {
    input.unplugNow = true;
    return std::nullopt;
  }
  if (silentNow(n)) return std::nullopt;
  const auto& bytes = frame.bytes();
  if (faults.silentOnRegister >= 0 && !counts.registerSilenceTriggered && bytes.size() >= 4 &&
      (bytes[0] == CMD_SET_REGISTER || (bytes[0] == CMD_GET_REGISTER && !faults.silentOnSetOnly)) &&
      (bytes[1] | bytes[2] << 8) == faults.silentOnRegister) {
    counts.registerSilenceTriggered = true;
    counts.registerSilenceLeft = faults.silentRequests;
  }
  if (counts.registerSilenceLeft > 0) {
    --counts.registerSilenceLeft;
    return std::nullopt;
  }
  if (n <= faults.receptionErrors) return receptionError();
  if (bytes.size() >= 5 && bytes[0] == CMD_SET_REGISTER &&
      (bytes[1] | bytes[2] << 8) == REG_DEVICE_MODE) {
    const bool on = bytes[4] == DEVICE_MODE_ON;
    const bool off = bytes[4] == DEVICE_MODE_OFF;
    if ((on && faults.ignoreSwitchOn) || (off && faults.ignoreSwitchOff)) return std::nullopt;
    if ((on && faults.refuseSwitchOn) || (off && faults.refuseSwitchOff))
      return refusal(REG_DEVICE_MODE);
  }
  return answer(frame);
}

HexMsg ChargerSim::Impl::answer(const HexMsg& frame) {
  const auto& bytes = frame.bytes();
  // The payload lies between the code byte and the checksum byte.
  const std::size_t payload = bytes.size() >= 2 ? bytes.size() - 2 : 0;
  switch (bytes[0]) {
    case CMD_PING: {
      HexMsg reply = message(RSP_PING);
      if (!faults.shortPing) reply.append16(profile.versionWord);
      return reply;
    }
    case CMD_GET_DEVICE_ID: {
      ++counts.deviceIdRequests;
      if (faults.refuseDeviceIdAfter >= 0 && counts.deviceIdRequests > faults.refuseDeviceIdAfter)
        return message(RSP_UNKNOWN);
      HexMsg reply = message(RSP_DEVICE_ID);
      reply.append16(profile.productId);
      return reply;
    }
    case CMD_GET_REGISTER: {
      if (payload < 2) return message(RSP_UNKNOWN);
      const std::uint16_t id = static_cast<std::uint16_t>(bytes[1] | bytes[2] << 8);
      if (faults.refuseGet.count(id)) return refusal(id);
      auto it = registers.find(id);
      auto flags = faults.flagsOnGet.find(id);
      if (flags != faults.flagsOnGet.end()) {
        return registerReply(RSP_GET, id, flags->second, RegisterBytes());
      }
      if (it == registers.end()) return registerReply(RSP_GET, id, FLAGS_UNKNOWN_ID, {});
      const std::uint16_t echoed = faults.wrongIdOnGet.count(id) ? id + 1 : id;
      return registerReply(RSP_GET, echoed, 0, it->second);
    }
    case CMD_SET_REGISTER: {
      if (payload < 3) return message(RSP_UNKNOWN);
      const std::uint16_t id = static_cast<std::uint16_t>(bytes[1] | bytes[2] << 8);
      // Value bytes follow the flags byte, up to the checksum byte.
      const RegisterBytes value(bytes.begin() + 4, bytes.end() - 1);
      return setRegister(id, value);
    }
    default:
      return message(RSP_FAILED);  // a command this charger does not know
  }
}

HexMsg ChargerSim::Impl::setRegister(std::uint16_t id, const RegisterBytes& value) {
  auto it = registers.find(id);
  if (faults.refuseSet.count(id)) return refusal(id);
  // A charger answers a write of a register it does not have as it answers a get of one.
  if (it == registers.end()) return registerReply(RSP_SET, id, FLAGS_UNKNOWN_ID, value);
  if (profile.readOnly.count(id)) return registerReply(RSP_SET, id, FLAGS_READ_ONLY, value);
  if (faults.checkWidths && !profile.textRegisters.count(id) && value.size() != it->second.size()) {
    return registerReply(RSP_SET, id, FLAGS_PARAMETER_ERROR, value);
  }
  records.writes.push_back(Write{id, value});
  const bool zero = std::all_of(value.begin(), value.end(), [](std::uint8_t b) { return b == 0; });
  const std::uint16_t word = static_cast<std::uint16_t>((value.empty() ? 0 : value[0]) |
                                                        (value.size() > 1 ? value[1] << 8 : 0));

  if (id == REG_BATTERY_VOLTAGE && registers.count(REG_BATTERY_VOLTAGE_SETTING)) {
    // From firmware 1.12 on, 0xEDEF is written with the setting (0: detect at power-up) but reads
    // back the system voltage in use; the setting reads back from 0xEDEA. A charger told to detect
    // keeps the voltage it runs on until its next power-up.
    registers[REG_BATTERY_VOLTAGE_SETTING] =
        RegisterBytes{value.empty() ? std::uint8_t{0} : value[0]};
    if (!zero) it->second = value;
  } else {
    it->second = value;
  }

  if (id == REG_RESTORE_DEFAULTS && zero) {
    ++records.factoryResets;
    std::map<std::uint16_t, RegisterBytes> restored = profile.registers;
    for (const auto& entry : registers) {
      if (isCommandRegister(entry.first)) restored[entry.first] = entry.second;
    }
    registers.swap(restored);
  } else if (id == REG_CLEAR_HISTORY) {
    ++records.historyClears;
  } else if (id == REG_DEVICE_MODE) {
    if (word == DEVICE_MODE_OFF) chargerOn = false;
    if (word == DEVICE_MODE_ON) chargerOn = true;
  }
  return registerReply(RSP_SET, id, 0, value);
}

std::optional<std::string> ChargerSim::Impl::package(const HexMsg& reply) {
  if (counts.repliesDropped < faults.dropReplies) {
    ++counts.repliesDropped;
    return std::nullopt;
  }
  ++records.replies;
  std::string text = faults.garbage + lineHabitsBefore(reply);
  if (faults.asyncBeforeReply) {
    auto it = registers.find(REG_BATTERY_VOLTAGE_REPORT);
    text += registerReply(RSP_ASYNC, REG_BATTERY_VOLTAGE_REPORT, 0,
                          it != registers.end() ? it->second : u16(1276))
                .toText();
  }
  text += reply.toText();
  return text;
}

std::string ChargerSim::Impl::lineHabitsBefore(const HexMsg& reply) {
  std::string text = profile.strayBeforeReply;
  // The battery voltage as it moves, one report after the other.
  for (int i = 0; i < profile.asyncFramesBeforeReply; ++i) {
    const auto centivolts = static_cast<std::uint16_t>(1276 + i);
    text += registerReply(RSP_ASYNC, REG_BATTERY_VOLTAGE_REPORT, 0, u16(centivolts)).toText();
  }
  // Last, so that the reply's ':' follows the block's checksum byte directly.
  const bool ping = !reply.bytes().empty() && reply.bytes()[0] == RSP_PING;
  if (profile.cutTextBeforeFirstPing && ping && !counts.cutTextSent) {
    counts.cutTextSent = true;
    // The program opened the line in the middle of a block: its first bytes never arrived.
    text += lineSafeTextBlock(profile.textLabels).substr(5);
  } else if (profile.textBeforeReplies && records.replies % 2 == 0) {
    text += lineSafeTextBlock(profile.textLabels);
  }
  return text;
}

void ChargerSim::Impl::queueReply(const std::optional<std::string>& text, Clock::time_point now,
                                  bool hold) {
  // At line rate a request takes time to arrive too, one after the other, although the terminal
  // hands it over at once: the charger cannot answer before its last byte would have come in.
  Clock::time_point arrived = now;
  if (line.paced) {
    arrived = std::max(now, input.lineFreeAt) + static_cast<long>(input.frameChars) * kBytePeriod;
    input.lineFreeAt = arrived;
  }
  if (!text) return;
  // Replies keep their order: every one waits the same latency after its request.
  const Pending reply{arrived + line.latency, *text, pty->lastPeerCloses()};
  if (hold) {
    output.held = reply;
  } else {
    output.pending.push_back(reply);
  }
}

std::string ChargerSim::Impl::nextTextBlock(Clock::time_point now) {
  bool damaged = false;
  std::chrono::milliseconds dayLength{0};
  DayCharger charger;
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++records.textBlocks;
    ++counts.blocksSinceFaults;
    damaged = faults.badTextChecksum ||
              (faults.badTextEvery > 0 && counts.blocksSinceFaults % faults.badTextEvery == 0);
    dayLength = faults.dayLength;
    charger.error = faults.textError;
    // The charger charges to the voltages it is set to, which a store may just have changed.
    charger.absorptionMillivolts = 10 * registerWord(registers, REG_ABSORPTION_VOLTAGE, 1440);
    charger.floatMillivolts = 10 * registerWord(registers, REG_FLOAT_VOLTAGE, 1380);
  }
  ++output.blockNumber;
  TextLabels labels = profile.textLabels;
  const std::set<std::string>& fixed = profile.fixedTextLabels;
  if (dayLength.count() > 0) {
    charger.loadMilliamps = loadMilliamps(labels);
    const auto sinceStart =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - output.startedAt);
    putLabels(labels, fixed, sunnyDayLabels(sinceStart, dayLength, charger));
  } else if (charger.error != 0) {
    putLabels(labels, fixed, {{"CS", "2"}, {"ERR", std::to_string(charger.error)}});
  }
  // The battery voltage wanders by a few millivolts from block to block, as a real one does; the
  // wander also steers the checksum byte away from bytes that would break the block on the line.
  // When the voltage is fixed, another measurement that moves anyway takes its part.
  auto steered = labels.end();
  long base = 0;
  for (const char* label : {"V", "VPV", "I"}) {
    auto it = std::find_if(labels.begin(), labels.end(),
                           [&](const auto& pair) { return pair.first == label; });
    if (it == labels.end() || fixed.count(label)) continue;
    std::size_t used = 0;
    try {
      base = std::stol(it->second, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != 0 && used == it->second.size()) {
      steered = it;
      break;
    }
  }
  const bool numeric = steered != labels.end();
  for (unsigned wander = output.blockNumber % 5;; ++wander) {
    if (numeric) steered->second = std::to_string(base + static_cast<long>(wander));
    std::string block = textBlock(labels, damaged);
    if (!numeric || !awkwardChecksumByte(block.back())) return block;
  }
}

ChargerSim::ChargerSim(Profile profile, Faults faults)
    : profile_(std::move(profile)), impl_(std::make_unique<Impl>(profile_, faults)) {}

ChargerSim::~ChargerSim() { stop(); }

std::string ChargerSim::start() {
  if (impl_->pty) throw std::logic_error("ChargerSim::start: already started");
  impl_->pty = std::make_unique<PtyPair>();
  impl_->slavePath = impl_->pty->slavePath();
  impl_->stopping = false;
  impl_->thread = std::thread([this] { impl_->run(); });
  return impl_->slavePath;
}

void ChargerSim::stop() {
  impl_->stopping = true;
  if (impl_->pty) impl_->pty->wake();
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->pty.reset();
}

const std::string& ChargerSim::slavePath() const { return impl_->slavePath; }

void ChargerSim::setFaults(const Faults& faults) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults = faults;
    impl_->counts = Impl::FaultCounts();
  }
  impl_->faultsChanged = true;
  if (impl_->pty) impl_->pty->wake();
}

Faults ChargerSim::faults() const { return impl_->locked(impl_->faults); }

void ChargerSim::unplug() {
  impl_->unplugRequested = true;
  if (impl_->pty) impl_->pty->wake();
  if (impl_->thread.joinable()) impl_->thread.join();
  if (impl_->pty) impl_->pty->closeMaster();
  impl_->unplugged = true;
}

bool ChargerSim::unplugged() const { return impl_->unplugged.load(); }

std::vector<HexMsg> ChargerSim::requests() const { return impl_->locked(impl_->records.requests); }

std::vector<Write> ChargerSim::writes() const { return impl_->locked(impl_->records.writes); }

std::size_t ChargerSim::requestCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->records.requests.size();
}

std::size_t ChargerSim::damagedRequestCount() const {
  return impl_->locked(impl_->records.damagedRequests);
}

std::size_t ChargerSim::replyCount() const { return impl_->locked(impl_->records.replies); }

std::uint64_t ChargerSim::bytesReceived() const {
  return impl_->locked(impl_->records.bytesReceived);
}

std::uint64_t ChargerSim::bytesSent() const { return impl_->locked(impl_->records.bytesSent); }

std::chrono::steady_clock::time_point ChargerSim::firstByteReceivedAt() const {
  return impl_->locked(impl_->records.firstReceivedAt);
}

std::chrono::steady_clock::time_point ChargerSim::lastByteSentAt() const {
  return impl_->locked(impl_->records.lastSentAt);
}

std::size_t ChargerSim::textBlockCount() const { return impl_->locked(impl_->records.textBlocks); }

bool ChargerSim::waitForProgram(bool open, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->handled.wait_for(lock, timeout, [&] { return impl_->programOpen == open; });
}

bool ChargerSim::waitForHeldReply(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->handled.wait_for(lock, timeout, [&] { return impl_->replyHeld; });
}

void ChargerSim::releaseHeldReply() {
  impl_->releaseHeld = true;
  if (impl_->pty) impl_->pty->wake();
}

bool ChargerSim::waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->handled.wait_for(lock, timeout,
                                 [&] { return impl_->records.requests.size() >= n; });
}

bool ChargerSim::waitUntilRead(std::chrono::milliseconds timeout) const {
  if (!impl_->pty || !impl_->thread.joinable() || impl_->unplugged.load()) return true;
  return impl_->pty->waitUntilRead(timeout);
}

RegisterBytes ChargerSim::registerValue(std::uint16_t id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  auto it = impl_->registers.find(id);
  return it == impl_->registers.end() ? RegisterBytes() : it->second;
}

void ChargerSim::setRegisterValue(std::uint16_t id, RegisterBytes value) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->registers[id] = std::move(value);
  if (id == REG_DEVICE_MODE) impl_->chargerOn = Impl::deviceModeOn(impl_->registers);
}

bool ChargerSim::chargerOn() const { return impl_->locked(impl_->chargerOn); }

int ChargerSim::factoryResets() const { return impl_->locked(impl_->records.factoryResets); }

int ChargerSim::historyClears() const { return impl_->locked(impl_->records.historyClears); }

void ChargerSim::clearRecords() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->records = Impl::Records();
}

void ChargerSim::setTrafficLog(std::function<void(const std::string&)> log) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->trafficLog = std::move(log);
}

}  // namespace sim
}  // namespace sunlink
