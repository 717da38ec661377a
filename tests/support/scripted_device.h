// ScriptedDevice: a device the test speaks for, on the master side of a pseudo-terminal in raw
// mode. Its slave side stays open here, so bytes written before the program opens the port wait
// for it in the line's input queue, and the program may open and close the port freely. Nothing
// runs on its own: the test writes what the device sends and reads what the program sent.
//
// Owns the pty pair; not copyable.
#pragma once

#include <string>

namespace sunlink {
namespace test {

class ScriptedDevice {
 public:
  ScriptedDevice();
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  // The port the program opens.
  const std::string& path() const { return path_; }
  // Sends bytes towards the program; a short write fails the test.
  void write(const std::string& bytes);
  // Whatever the program sent to the device so far.
  std::string received();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace test
}  // namespace sunlink
