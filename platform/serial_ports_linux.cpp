#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/port_names.h"
#include "platform/serial_ports.h"

namespace sunlink {

namespace fs = std::filesystem;

namespace {

// One attribute file of sysfs, first line, surrounding blanks removed; empty when unreadable.
std::string readAttribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return "";
  return boost::algorithm::trim_copy_if(line, boost::algorithm::is_any_of(" \t\r\n"));
}

// Whether the tty is a serial device worth probing.
//
// Only ttys backed by hardware have a `device` link; virtual consoles, pseudo-terminals and the
// console itself have none.
//
// Most PCs register four legacy 8250/16550 ports (ttyS0..ttyS3) whether or not a UART is fitted.
// Opening one of those succeeds, and each would cost a full probe with its time-outs. The serial
// core publishes what UART it found in the port's `type` attribute; 0 means none was found, and
// the core refuses all I/O on such a port, so it cannot hold a charger whatever its driver. Ports
// of other drivers (USB adapters, CDC-ACM devices) have no `type` attribute and are kept.
bool isUsableSerialDevice(const fs::path& ttyDir) {
  std::error_code error;
  if (!fs::exists(ttyDir / "device", error)) return false;
  return readAttribute(ttyDir / "type") != "0";
}

// The ttys the kernel writes its console to (a serial console given with console=ttyS0 on the
// kernel command line, a login prompt on it). Probing one would type requests into that prompt.
// The kernel lists them, separated by blanks, in the console entry's `active` attribute; serial
// drivers that know also mark the port itself with a `console` attribute of Y.
std::set<std::string> activeConsoles(const fs::path& ttyClass) {
  std::set<std::string> names;
  std::istringstream list(readAttribute(ttyClass / "console" / "active"));
  for (std::string name; list >> name;) names.insert(name);
  return names;
}

bool isConsole(const fs::path& ttyDir, const std::set<std::string>& consoles) {
  return consoles.count(ttyDir.filename().string()) > 0 || readAttribute(ttyDir / "console") == "Y";
}

}  // namespace

std::vector<std::string> listSerialPorts(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<std::string> names;
  std::error_code error;
  const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty";
  const std::set<std::string> consoles = activeConsoles(ttyClass);
  // No sysfs (a container, another kernel) simply means no ports.
  for (fs::directory_iterator it(ttyClass, error), end; !error && it != end; it.increment(error)) {
    if (isUsableSerialDevice(it->path()) && !isConsole(it->path(), consoles))
      names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), naturalLess);
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::string& name : names) paths.push_back(devRoot + "/" + name);
  return paths;
}

std::vector<std::string> listSerialPorts() { return listSerialPorts("/sys", "/dev"); }

}  // namespace sunlink
