// ChargerSim: a simulated charger on a pseudo-terminal, for trying chgtune without hardware and for
// every test that talks over a real serial link.
//
// It opens a pty pair, keeps the slave side open itself (so the program may open and close the
// slave path freely), and answers HEX requests on the master side from its own thread, as a
// charger does: ping, device id, get register, set register, the command registers (factory reset,
// clear history, clock, charger on/off). A request that arrives damaged (bad checksum) is answered
// with code 2 and the word 0xAAAA. It sends TEXT blocks unasked at an interval. One thread writes
// everything, whole TEXT blocks and whole replies, so a block never lands inside a reply. Faults
// are switched on one by one. Everything it received is recorded so that tests can assert exactly
// what reached the charger.
//
// What the charger sends while no program has the slave open is lost, as on a real line, and so
// are replies to a program that has closed the path since it asked. Bytes already written when a
// program closes the path are discarded once the simulator notices the close; a program that
// reopens the path at once may still read them (waitForProgram(false, ...) closes that gap).
//
// Ownership: owns the pty pair and the answering thread (joined by stop, unplug and the
// destructor). Thread safety: every public member may be called from any thread while the
// simulator runs; the callbacks set with setTrafficLog run on the simulator's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "codec/hex_msg.h"
#include "protocol/registers.h"
#include "sim/profiles.h"

namespace sunlink {
namespace sim {

// Fault switches. Counts of requests and replies start when the faults are set (at construction or
// by setFaults); a request is a frame that arrived with a good checksum.
struct Faults {
  std::set<std::uint16_t> refuseSet;  // set register answered with code 4
  std::set<std::uint16_t> refuseGet;  // get register answered with code 4
  // get register answered with these flags (0x02 "not supported" is a read that fails; 0x01
  // "unknown id" says the charger has no such register, as for one its profile lacks)
  std::map<std::uint16_t, std::uint8_t> flagsOnGet;
  std::set<std::uint16_t> wrongIdOnGet;  // get register answered for the next register id
  int receptionErrors = 0;               // the first N requests answered with code 2, 0xAAAA
  int dropReplies = 0;                   // the first N replies are not sent
  int silentAfter = -1;                  // after K requests, answer nothing (-1: never) ...
  int resumeAfter = -1;  // ... until request number resumeAfter has gone unanswered (-1: never)
  // Silent in the middle of a conversation: the first request that gets or sets this register
  // (-1: none) and the silentRequests - 1 requests after it go unanswered; then it answers again.
  int silentOnRegister = -1;
  int silentRequests = 0;
  bool silentOnSetOnly = false;  // only a set of silentOnRegister starts the silence (a store)
  int unplugAfter = -1;          // request K+1 closes the master as unplug() does (-1: never)
  std::chrono::milliseconds latency{0};  // delay before each reply
  bool paceAtLineRate = false;           // 10 bits per byte at 19200 baud, for requests and replies
  std::chrono::milliseconds textInterval{0};  // 0: no TEXT blocks
  bool badTextChecksum = false;               // every TEXT block sent with a wrong checksum byte
  int badTextEvery = 0;    // every Nth TEXT block sent with a wrong checksum byte (0: none)
  bool textFlood = false;  // TEXT blocks back to back at the line rate (implies pacing)
  // The TEXT blocks' live values move through a sunny day this long, the run starting at sunrise
  // (sim/sunny_day.h); 0: they stay as the profile gives them. Labels the profile fixes
  // (Profile::fixedTextLabels) stay as they are either way.
  std::chrono::milliseconds dayLength{0};
  int textError = 0;    // ERR of the TEXT blocks, with the charger in its fault state (0: none)
  std::string garbage;  // bytes written before each reply (empty: none)
  bool asyncBeforeReply = false;  // an unasked code-0xA frame before each reply
  int refuseDeviceIdAfter = -1;   // device id requests after the first K answered with code 4
  bool shortPing = false;         // ping answered with code 5 and no version word
  bool checkWidths = false;       // a set whose value width differs from the register's: flags 0x04
  // The switch-on after a store (0x0200 set to 3): refused with code 4, or never answered.
  bool refuseSwitchOn = false;
  bool ignoreSwitchOn = false;
  // The switch-off before a store (0x0200 set to 4): refused with code 4, or never answered.
  bool refuseSwitchOff = false;
  bool ignoreSwitchOff = false;
  // The reply to the first get or set of this register (-1: none) is held back until
  // releaseHeldReply, so that a test knows where the program is while it acts (sends it a signal).
  int holdReplyOnRegister = -1;
  bool holdOnSetOnly = false;  // only a set of holdReplyOnRegister is held (a store)
};

// One register write as stored.
struct Write {
  std::uint16_t id;
  RegisterBytes value;
};

// Flags byte of a set reply for a register that cannot be written (FLAGS_UNKNOWN_ID and the
// others: protocol/registers.h).
constexpr std::uint8_t FLAGS_READ_ONLY = FLAGS_NOT_SUPPORTED;
constexpr std::uint8_t RSP_ASYNC = 0xA;  // unasked report of a register value

class ChargerSim {
 public:
  explicit ChargerSim(Profile profile, Faults faults = Faults());
  ~ChargerSim();  // stops
  ChargerSim(const ChargerSim&) = delete;
  ChargerSim& operator=(const ChargerSim&) = delete;

  // Opens the pty pair and starts answering; returns the slave path (e.g. /dev/pts/7). Throws
  // std::system_error when the pair cannot be opened, std::logic_error when already started.
  std::string start();
  // Stops answering, joins the thread and closes the pair. Safe to call more than once.
  void stop();
  const std::string& slavePath() const;  // empty before start

  void setFaults(const Faults& faults);
  Faults faults() const;
  // Closes the master side as if the cable were pulled; the thread stops answering. Returns when
  // the master is closed.
  void unplug();
  bool unplugged() const;  // true from the moment the master starts closing

  std::vector<HexMsg> requests() const;     // every decoded request frame, checksum byte last
  std::vector<Write> writes() const;        // every set register it accepted, in order
  std::size_t requestCount() const;         // requests().size()
  std::size_t damagedRequestCount() const;  // frames that arrived with a bad checksum
  std::size_t replyCount() const;           // replies handed to the line (dropped ones not)
  std::size_t textBlockCount() const;       // TEXT blocks handed to the line
  // Bytes read from the program and bytes written to it (of every kind), since start or the last
  // clearRecords; at line rate each takes 10 / 19200 s on the wire.
  std::uint64_t bytesReceived() const;
  std::uint64_t bytesSent() const;
  // When the first of those bytes was read, and when the last was written (a default time_point
  // before any): the program's start-up and wind-down, seen from the line.
  std::chrono::steady_clock::time_point firstByteReceivedAt() const;
  std::chrono::steady_clock::time_point lastByteSentAt() const;
  // Waits until at least n requests have been handled (answered, dropped or ignored).
  bool waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;
  // Waits until the simulator has read and handled every byte a program wrote to the line before
  // the call: every request sent by then is in requests(), however late the simulator's thread
  // runs. True at once when the simulator is not running or unplugged; false after the time-out.
  // Not while stop() runs.
  bool waitUntilRead(std::chrono::milliseconds timeout) const;
  // Waits until the simulator has seen a program open the path (open) or the last program close
  // it (!open). False after the time-out.
  bool waitForProgram(bool open, std::chrono::milliseconds timeout) const;
  // Faults::holdReplyOnRegister: waits until a reply is held back; sends it on.
  bool waitForHeldReply(std::chrono::milliseconds timeout) const;
  void releaseHeldReply();

  RegisterBytes registerValue(std::uint16_t id) const;  // empty when it has no such register
  // A value for 0x0200 (the device mode) also switches the charger: 4 off, anything else on.
  void setRegisterValue(std::uint16_t id, RegisterBytes value);
  // The on/off state set through 0x0202/0x0200, as a get of 0x0200 reports it (a profile whose
  // 0x0200 holds 4 starts switched off).
  bool chargerOn() const;
  int factoryResets() const;  // writes of 0 to 0x0004
  int historyClears() const;  // writes to 0x1030
  void clearRecords();        // requests, writes, byte counts and the counters above
  const Profile& profile() const { return profile_; }

  // Called on the simulator's thread with the text of every request (">> :7...") and every reply
  // (" << :7...") without the line end; for chgsim --verbose.
  void setTrafficLog(std::function<void(const std::string&)> log);

 private:
  struct Impl;
  const Profile profile_;
  std::unique_ptr<Impl> impl_;
};

// The TEXT block of these label/value pairs: each line CR LF, label, TAB, value; then CR LF,
// "Checksum", TAB and the byte that makes the block's byte sum 0 modulo 256 (one more when
// damaged).
std::string textBlock(const std::vector<std::pair<std::string, std::string>>& labels,
                      bool damaged = false);

}  // namespace sim
}  // namespace sunlink
