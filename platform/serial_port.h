// Opening a serial device for the link: raw mode, and for this process alone; closing it as found.
//
// Two programs reading one serial port steal each other's bytes, so the link claims the port
// exclusively; a second opener (another chgtune, or a terminal monitor already on the port) fails
// with EBUSY (Windows: access denied) instead of silently sharing the line.
#pragma once

#include <boost/asio/serial_port.hpp>
#include <boost/system/error_code.hpp>
#include <string>

namespace sunlink {

// An open port as the I/O library takes it: a descriptor on Linux, a HANDLE on Windows.
using SerialPortHandle = boost::asio::serial_port::native_handle_type;

// Opens path exactly as given (read/write, non-blocking, not as controlling terminal), claims it
// for exclusive use, saves its line settings and puts the line into raw byte mode (no echo, no
// line editing, no character translation, receiver on, modem lines ignored). Returns the port, or
// an invalid handle (-1 on Linux) with ec set: the system's reason, EBUSY (Windows: access denied)
// when the port is already in use elsewhere. The caller owns the port. Until
// restoreSerialPortSettings, a termination request that ends the run puts the saved settings back
// (platform/signals.h).
// Windows: a name without the "\\.\" device prefix (COM3) gets it, so that COM10 and above
// open too; the port is opened for overlapped I/O and never shared.
SerialPortHandle openSerialPortExclusive(const std::string& path, boost::system::error_code& ec);

// Puts back the line settings saved when openSerialPortExclusive opened the port; call it just
// before closing, on every path. A port may be the console or a terminal of the machine, which
// must not be left raw at the charger's rate. Errors are ignored (an adapter pulled out has no
// line left).
void restoreSerialPortSettings(SerialPortHandle port);

// The group that owns the device node at path, by name ("dialout"), when that group may read and
// write it; empty otherwise or when unknown (always on Windows, whose ports have no group). Users
// outside that group may not open the port.
std::string serialPortGroup(const std::string& path);

// Why a port could not be opened, in a few words for a list of the ports tried: "busy" (another
// program holds it), "permission denied", "missing"; empty for any other reason. On Windows a port
// another program holds answers "access denied", so that is "busy" there.
std::string portOpenFailureKind(const boost::system::error_code& ec);

// Puts back the line settings, releases the claim and closes a port from openSerialPortExclusive
// that was never handed to the I/O library.
void closeSerialPort(SerialPortHandle port);

// Gives up the exclusive claim on a descriptor from openSerialPortExclusive; call it just before
// closing. Errors are ignored: the descriptor is about to go anyway. Windows: nothing to do, the
// claim ends with the handle.
void releaseSerialPortExclusive(SerialPortHandle port);

}  // namespace sunlink
