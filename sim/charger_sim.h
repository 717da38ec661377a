// ChargerSim: a simulated charger on a pseudo-terminal, for trying chgtune without hardware and for
// every test that talks over a real serial link.
//
// It opens a pty pair, keeps the slave side open itself (so the program may open and close the
// slave path freely), and answers HEX requests on the master side from its own thread, as a
// charger does: ping, device id, get register, set register, the command registers (factory reset,
// clear history, clock, charger on/off). It sends TEXT blocks unasked at an interval, never inside a
// HEX reply. Faults are switched on one by one. Everything it received is recorded so that tests
// can assert exactly what reached the charger.
//
// Thread safety: every public member may be called from any thread while the simulator runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/hex_msg.h"

namespace sunlink {
namespace sim {

// A register's value as the charger holds it: its bytes, least significant first (the wire order),
// 1, 2 or 4 bytes, or the bytes of a text.
using RegisterBytes = std::vector<std::uint8_t>;

struct Profile {
  std::string name;
  std::string description;
  // Answers to ping and get device id. versionWord's top two bits give the firmware type
  // (01 application, 11 release candidate, 00 boot loader, 10 tester).
  std::uint16_t versionWord = 0x4115;
  std::uint16_t productId = 0xA042;
  bool silent = false;  // answers nothing at all
  std::map<std::uint16_t, RegisterBytes> registers;
  // Identity and measurement labels of the TEXT blocks, in block order (PID as "0x" + hex, ...).
  std::vector<std::pair<std::string, std::string>> textLabels;
};

// "load115", "rotary113", "recent", "bootloader", "monitor" (not MPPT), "silent", ...
Profile profileByName(const std::string& name);  // throws std::invalid_argument for an unknown name
std::vector<std::string> profileNames();

struct Faults {
  std::set<std::uint16_t> refuseSet;       // set register answered with code 4
  std::set<std::uint16_t> flagsOnGet;      // get register answered with flags 0x01
  int receptionErrors = 0;                 // the first N requests answered with code 2, 0xAAAA
  int dropReplies = 0;                     // the first N replies are not sent
  int silentAfter = -1;                    // after K requests, answer nothing (-1: never)
  std::chrono::milliseconds latency{0};    // delay before each reply
  bool paceAtLineRate = false;             // 10 bits per byte at 19200 baud
  std::chrono::milliseconds textInterval{0};  // 0: no TEXT blocks
  bool badTextChecksum = false;            // every TEXT block sent with a wrong checksum byte
};

// One request as received, and one register write as stored.
struct Write {
  std::uint16_t id;
  RegisterBytes value;
};

class ChargerSim {
 public:
  explicit ChargerSim(Profile profile, Faults faults = Faults());
  ~ChargerSim();  // stops
  ChargerSim(const ChargerSim&) = delete;
  ChargerSim& operator=(const ChargerSim&) = delete;

  // Opens the pty pair and starts answering; returns the slave path (e.g. /dev/pts/7).
  std::string start();
  void stop();
  const std::string& slavePath() const;

  void setFaults(const Faults& faults);
  // Closes the master side as if the cable were pulled; the thread stops answering.
  void unplug();

  std::vector<HexMsg> requests() const;  // every decoded request frame, checksum byte last
  std::vector<Write> writes() const;     // every set register it accepted, in order
  std::size_t requestCount() const;
  RegisterBytes registerValue(std::uint16_t id) const;
  void setRegisterValue(std::uint16_t id, RegisterBytes value);
  void clearRecords();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
}  // namespace sunlink
