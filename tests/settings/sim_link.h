// A simulated charger on a pseudo-terminal with a running link to it, for the tests of retrieve
// and restore. Stops the link before the simulator on the way out.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"

namespace sunlink {
namespace testing_settings {

class SimLink {
 public:
  // Time-outs long enough that a charger that answers is never taken for a silent one on a busy
  // machine; tests of silence pass short ones.
  explicit SimLink(const std::string& profile, sim::Faults faults = sim::Faults(),
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(1000))
      : sim(sim::profileByName(profile), faults) {
    const std::string path = sim.start();
    link = std::make_unique<QmxSerial>(path);
    link->timeouts.ping = timeout;
    link->timeouts.deviceId = timeout;
    link->timeouts.getRegister = timeout;
    link->timeouts.setRegister = timeout;
    link->start();
  }
  ~SimLink() {
    link->stop();
    sim.stop();
  }
  SimLink(const SimLink&) = delete;
  SimLink& operator=(const SimLink&) = delete;

  // Requests with this command code (and register id, for get and set) that reached the charger.
  std::size_t requests(std::uint8_t code, int id = -1) const {
    std::size_t n = 0;
    for (const HexMsg& request : sim.requests()) {
      const auto& b = request.bytes();
      if (b.empty() || b[0] != code) continue;
      if (id >= 0 && (b.size() < 3 || (b[1] | b[2] << 8) != id)) continue;
      ++n;
    }
    return n;
  }

  // True when another thread can take the link lock: nobody holds it any more.
  bool lockIsFree() {
    bool free = false;
    std::thread other([&] {
      free = link->linkLock().try_lock();
      if (free) link->linkLock().unlock();
    });
    other.join();
    return free;
  }

  sim::ChargerSim sim;
  std::unique_ptr<QmxSerial> link;
};

}  // namespace testing_settings
}  // namespace sunlink
