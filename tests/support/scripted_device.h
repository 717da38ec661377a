// ScriptedDevice: a device the test speaks for, on the master side of a pseudo-terminal in raw
// mode. Its slave side stays open here, so bytes written before the program opens the port wait
// for it in the line's input queue, and the program may open and close the port freely. Nothing
// runs on its own: the test writes what the device sends and reads what the program sent.
//
// Owns the pseudo-terminal; not copyable. Throws std::system_error when it cannot be opened.
#pragma once

#include <string>

#include "platform/pty.h"

namespace sunlink {
namespace test {

class ScriptedDevice {
 public:
  ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  // The port the program opens.
  const std::string& path() const { return terminal_.slavePath(); }
  // Sends bytes towards the program; a short write fails the test.
  void write(const std::string& bytes);
  // Whatever the program sent to the device so far.
  std::string received();

 private:
  PseudoTerminal terminal_;
};

}  // namespace test
}  // namespace sunlink
