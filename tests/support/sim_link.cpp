#include "support/sim_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <thread>

namespace sunlink {
namespace test {

namespace {

// The last request of an exchange the charger left unanswered is still on its way when the
// exchange gives up: the views of what reached the charger wait for it first.
void awaitEverythingRead(const sim::ChargerSim& sim) {
  if (!sim.waitUntilRead(std::chrono::seconds(10)))
    ADD_FAILURE() << "the simulated charger did not read what the link sent";
}

}  // namespace

void setEveryTimeout(QmxSerial& link, std::chrono::milliseconds timeout) {
  link.timeouts.ping = timeout;
  link.timeouts.deviceId = timeout;
  link.timeouts.getRegister = timeout;
  link.timeouts.setRegister = timeout;
}

std::shared_ptr<const std::vector<std::string>> shortenUnansweredExchanges(
    QmxSerial& link, int after, int until, std::chrono::milliseconds timeout) {
  const ExchangeTimeouts own = link.timeouts;
  ExchangeTimeouts shortened = own;
  shortened.ping = shortened.deviceId = shortened.getRegister = shortened.setRegister = timeout;
  if (after == 0) link.timeouts = shortened;
  auto sent = std::make_shared<int>(0);
  auto begun = std::make_shared<std::vector<std::string>>();
  link.txSignal.connect([&link, sent, begun, after, until, own, shortened](std::string& frame) {
    ++*sent;
    if (*sent > after && (until < 0 || *sent <= until)) begun->push_back(frame);
    if (*sent == after) link.timeouts = shortened;
    if (*sent == until) link.timeouts = own;
  });
  return begun;
}

bool isRequest(const std::string& frame, std::uint8_t code, int id) {
  char prefix[8];
  if (id < 0) {
    std::snprintf(prefix, sizeof prefix, ":%X", code);
  } else {
    std::snprintf(prefix, sizeof prefix, ":%X%02X%02X", code, id & 0xFF, (id >> 8) & 0xFF);
  }
  return frame.rfind(prefix, 0) == 0;
}

SimLink::SimLink(sim::Profile profile, sim::Faults faults, const ExchangeTimeouts& timeouts)
    : sim(std::move(profile), faults) {
  link = std::make_unique<QmxSerial>(sim.start());
  link->timeouts = timeouts;
  started = link->start();
}

SimLink::SimLink(const std::string& profile, sim::Faults faults, const ExchangeTimeouts& timeouts)
    : SimLink(sim::profileByName(profile), faults, timeouts) {}

SimLink::SimLink(const std::string& profile, sim::Faults faults,
                 std::chrono::milliseconds everyExchange)
    : sim(sim::profileByName(profile), faults) {
  link = std::make_unique<QmxSerial>(sim.start());
  setEveryTimeout(*link, everyExchange);
  started = link->start();
}

SimLink::~SimLink() {
  link->stop();
  sim.stop();
}

std::size_t SimLink::requests(std::uint8_t code, int id) const {
  awaitEverythingRead(sim);
  std::size_t n = 0;
  for (const HexMsg& request : sim.requests()) {
    const auto& b = request.bytes();
    if (b.empty() || b[0] != code) continue;
    if (id >= 0 && (b.size() < 3 || (b[1] | b[2] << 8) != id)) continue;
    ++n;
  }
  return n;
}

std::vector<std::uint16_t> SimLink::requestedIds(std::uint8_t code) const {
  awaitEverythingRead(sim);
  std::vector<std::uint16_t> ids;
  for (const HexMsg& request : sim.requests()) {
    const auto& bytes = request.bytes();
    if (bytes.size() >= 3 && bytes[0] == code) ids.push_back(bytes[1] | bytes[2] << 8);
  }
  return ids;
}

std::vector<std::uint8_t> SimLink::commandCodes() const {
  awaitEverythingRead(sim);
  std::vector<std::uint8_t> codes;
  for (const HexMsg& request : sim.requests()) codes.push_back(request.bytes().at(0));
  return codes;
}

WriteList SimLink::writes() const {
  awaitEverythingRead(sim);
  WriteList result;
  for (const sim::Write& write : sim.writes()) result.emplace_back(write.id, write.value);
  return result;
}

bool SimLink::lockIsFree() {
  bool free = false;
  std::thread other([&] {
    free = link->linkLock().try_lock();
    if (free) link->linkLock().unlock();
  });
  other.join();
  return free;
}

}  // namespace test
}  // namespace sunlink
