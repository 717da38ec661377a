// SimLink: a simulated charger on a pseudo-terminal with a started link to it, and readable views
// of what reached the charger. Stops the link before the simulator on the way out.
//
// Owns the simulator and the link; not copyable.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/exchange_timeouts.h"
#include "link/qmx_serial.h"
#include "sim/charger_sim.h"

namespace sunlink {
namespace test {

// Gives every HEX exchange of the link (ping, device id, get, set) the same per-attempt time-out.
void setEveryTimeout(QmxSerial& link, std::chrono::milliseconds timeout);

// For a charger that leaves some exchanges unanswered: short time-outs for those, so that their
// attempts are counted quickly, and the link's own for the others, so that an answer is never late
// enough to be asked for twice, however loaded the machine. An exchange takes its time-out as it
// begins, before its first request goes out, and keeps it for every attempt. Counting the requests
// the link sends from now on, the exchanges that begin once `after` of them have gone out get
// `timeout` (every kind of exchange), until those that begin once `until` have (-1: to the end).
// Lasts as long as the link; the link's time-outs are changed on the requesting thread.
//
// Returns the requests numbered after + 1 to until (every later one with -1) as they go out, frame
// text: with until = after + 1, the first request of the one exchange shortened. A test whose
// counts come from the program's order of requests checks it, so that a changed order does not
// silently give answered exchanges the short time-out.
std::shared_ptr<const std::vector<std::string>> shortenUnansweredExchanges(
    QmxSerial& link, int after, int until = -1,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(20));

// Register writes as the charger took them: id and value bytes, least significant first.
using WriteList = std::vector<std::pair<std::uint16_t, sim::RegisterBytes>>;

// Whether the frame text a link sends (":8F7ED00...") is a request with this command code and, for
// get and set, register id. For a txSignal slot that gives a test's exchanges their time-outs: the
// slot runs on the requesting thread as the request goes out, when its exchange has its deadline
// already, so a change to the link's time-outs there applies from the next exchange on.
bool isRequest(const std::string& frame, std::uint8_t code, int id = -1);

class SimLink {
 public:
  // By default the program's own time-outs: long enough that a charger that answers is never taken
  // for a silent one, nor asked twice, on a busy machine; tests of silence pass short ones.
  explicit SimLink(sim::Profile profile, sim::Faults faults = sim::Faults(),
                   const ExchangeTimeouts& timeouts = ExchangeTimeouts());
  explicit SimLink(const std::string& profile, sim::Faults faults = sim::Faults(),
                   const ExchangeTimeouts& timeouts = ExchangeTimeouts());
  SimLink(const std::string& profile, sim::Faults faults, std::chrono::milliseconds everyExchange);
  ~SimLink();
  SimLink(const SimLink&) = delete;
  SimLink& operator=(const SimLink&) = delete;

  // The views of what reached the charger first wait until it has read everything the link sent:
  // taken right after an exchange gave up, they hold its last request.
  //
  // Requests with this command code (and register id, for get and set) that reached the charger.
  std::size_t requests(std::uint8_t code, int id = -1) const;
  // The register ids of the get or set requests (code) that reached the charger, in order.
  std::vector<std::uint16_t> requestedIds(std::uint8_t code) const;
  // The command code of every request that reached the charger, in order.
  std::vector<std::uint8_t> commandCodes() const;
  // The writes the charger took, in order.
  WriteList writes() const;

  // True when another thread can take the link lock: nobody holds it any more.
  bool lockIsFree();

  sim::ChargerSim sim;
  std::unique_ptr<QmxSerial> link;
  bool started = false;  // what link->start() returned
};

}  // namespace test
}  // namespace sunlink
