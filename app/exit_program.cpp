#include "app/exit_program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "app/log.h"
#include "link/qmx_serial.h"

namespace sunlink {

namespace {

std::unique_ptr<QmxSerial>& linkSlot() {
  static std::unique_ptr<QmxSerial> link;
  return link;
}

// A stopped link whose lock was still held when the program ended (identification and the device
// commands end the program from inside their conversation). Destroying a locked mutex is undefined
// on POSIX systems, so such a link is kept, reachable from here, until the process is gone; its
// port is already closed and its reader thread joined.
QmxSerial* linkKeptLocked = nullptr;

void (*exitReport)(int status) = nullptr;

// The main thread may hold the recursive link lock any number of times and cannot tell how often;
// another thread can tell whether it is free.
bool linkLockFree(QmxSerial& link) {
  bool free = false;
  std::thread probe([&link, &free] {
    if (link.linkLock().try_lock()) {
      link.linkLock().unlock();
      free = true;
    }
  });
  probe.join();
  return free;
}

// Whether everything written to standard output reached it. A full disk or a pipe closed early (a
// reader such as head that has seen enough) makes writes fail; the run goes on with its work on
// the charger, but a script must not take the output for complete. reason gets the system's
// reason when the last push of buffered output tells it.
bool standardOutputLost(std::string& reason) {
  std::cout.flush();
  errno = 0;
  if (std::fflush(stdout) != 0 && errno != 0) reason = std::strerror(errno);
  return std::cout.fail() || std::ferror(stdout) != 0;
}

}  // namespace

QmxSerial* currentLink() { return linkSlot().get(); }

void setCurrentLink(std::unique_ptr<QmxSerial> link) { linkSlot() = std::move(link); }

void closeCurrentLink() {
  std::unique_ptr<QmxSerial>& link = linkSlot();
  if (!link) return;
  link->stop();
  if (linkLockFree(*link))
    link.reset();
  else
    linkKeptLocked = link.release();
}

void setExitReport(void (*report)(int status)) { exitReport = report; }

void exitProgram(int status) {
  if (void (*report)(int) = exitReport) {
    exitReport = nullptr;
    report(status);
  }
  try {
    closeCurrentLink();
  } catch (...) {
    // The port or its reader thread could not be let go of. End at once, without running the
    // destructors of a half-stopped link, but keep what was already written for the user.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(10);
  }
  std::string reason;
  if (standardOutputLost(reason)) {
    std::cerr << "Standard output could not be written"
              << (reason.empty() ? std::string(".") : ": " + reason + ".") << std::endl;
    // A more specific failure keeps its status.
    if (status == 0) status = -1;
  }
  const std::int64_t micros = elapsedMicros();
  logInfo("chgtune", "done in %03d.%03d", static_cast<int>(micros / 1000000),
          static_cast<int>((micros / 1000) % 1000));
  dumpBacklog();
  std::exit(status);
}

}  // namespace sunlink
