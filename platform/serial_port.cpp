// What both systems share of a port's line settings: the put-back kept for every open port.
#include "platform/serial_port.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/saved_line_settings.h"
#include "platform/signals.h"

namespace sunlink {

namespace {

struct SavedLine {
  std::function<void()> putBack;
  int cleanupId;
};

// Several links can be open one after another (discovery) and the I/O library closes them on the
// reader thread, so the map is shared between threads.
std::mutex savedMutex;
std::map<SerialPortHandle, SavedLine> savedLines;  // guarded by savedMutex

}  // namespace

void keepLineSettings(SerialPortHandle port, std::function<void()> putBack) {
  // The cleanup has its own copy and never takes savedMutex: it runs on the thread that takes the
  // termination requests, while restoreSerialPortSettings may hold savedMutex to remove it.
  const int id = addTerminationCleanup(putBack);
  std::lock_guard<std::mutex> lock(savedMutex);
  savedLines[port] = SavedLine{std::move(putBack), id};
}

void restoreSerialPortSettings(SerialPortHandle port) {
  std::function<void()> putBack;
  {
    std::lock_guard<std::mutex> lock(savedMutex);
    const auto found = savedLines.find(port);
    if (found == savedLines.end()) return;
    putBack = std::move(found->second.putBack);
    // Removed before the port can be closed, so the cleanup never reaches a closed or reused
    // descriptor or handle.
    removeTerminationCleanup(found->second.cleanupId);
    savedLines.erase(found);
  }
  putBack();
}

}  // namespace sunlink
