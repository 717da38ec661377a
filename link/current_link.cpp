#include "link/current_link.h"

#include <thread>

#include "base/exit_program.h"
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

}  // namespace

QmxSerial* currentLink() { return linkSlot().get(); }

void setCurrentLink(std::unique_ptr<QmxSerial> link) {
  linkSlot() = std::move(link);
  setExitStep(closeCurrentLink);
}

void closeCurrentLink() {
  std::unique_ptr<QmxSerial>& link = linkSlot();
  if (!link) return;
  link->stop();
  if (linkLockFree(*link))
    link.reset();
  else
    linkKeptLocked = link.release();
}

}  // namespace sunlink
