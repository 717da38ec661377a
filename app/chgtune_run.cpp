#include "app/chgtune_run.h"

#include <utility>

#include "base/statuses.h"
#include "platform/serial_ports.h"

namespace sunlink {

ChgtuneRun::ChgtuneRun(const RunEnvironment& environment)
    : timeouts_(environment.timeouts),
      linkTaken_(environment.linkTaken),
      outIsTerminal_(environment.outIsTerminal),
      serialPorts_(environment.serialPorts),
      output_(environment.in, environment.out, environment.err) {}

ChgtuneRun::~ChgtuneRun() { closeLink(); }

void ChgtuneRun::parseOptions(int argc, const char* const argv[]) {
  options_.emplace(argc, argv);
  output_.route(*options_);
}

void ChgtuneRun::adoptLink(std::unique_ptr<QmxSerial> link, bool running) {
  link_ = std::move(link);
  linkRunning_ = running;
  if (linkTaken_) linkTaken_(*link_);
}

void ChgtuneRun::startLink() {
  dump_ = std::make_unique<QmxSerialDump>(*link_, output_.lines());
  if (options().has("dump")) dump_->connectDump();
  if (options().has("download")) textParser_.emplace(*link_, textIdentity_);
  if (!linkRunning_) link_->start();
  linkRunning_ = true;
}

std::vector<std::string> ChgtuneRun::serialPorts() const {
  return serialPorts_ ? serialPorts_() : listSerialPorts();
}

std::string ChgtuneRun::serialNumber() const {
  QmxValue serial;
  return textIdentity_.lookup("SER#", serial) ? serial.value : std::string();
}

int ChgtuneRun::end(int status) {
  output_.writeReport(status);
  return closeLink() ? status : kExitCloseFailed;
}

bool ChgtuneRun::closeLink() {
  if (!link_) return true;
  bool stopped = true;
  try {
    link_->stop();
  } catch (...) {
    // The port or its reader thread could not be let go of; the link's destructor makes sure no
    // reader thread outlives it.
    stopped = false;
  }
  link_.reset();
  return stopped;
}

}  // namespace sunlink
