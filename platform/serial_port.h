// Opening a serial device for the link: raw mode, and for this process alone.
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
// for exclusive use and puts the line into raw byte mode (no echo, no line editing, no character
// translation, receiver on, modem lines ignored). Returns the descriptor, or -1 with ec set: the
// system's reason, EBUSY when the port is already in use elsewhere. The caller owns the descriptor.
// Windows: a name without the "\\.\" device prefix (COM3) gets it, so that COM10 and above
// open too; the port is opened for overlapped I/O and never shared; on failure ec is set and the
// handle returned is not valid.
SerialPortHandle openSerialPortExclusive(const std::string& path, boost::system::error_code& ec);

// Releases the claim and closes a descriptor from openSerialPortExclusive that was never handed
// to the I/O library.
void closeSerialPort(SerialPortHandle port);

// Gives up the exclusive claim on a descriptor from openSerialPortExclusive; call it just before
// closing. Errors are ignored: the descriptor is about to go anyway.
// Windows: puts back the line settings the port had before it was opened.
void releaseSerialPortExclusive(SerialPortHandle port);

}  // namespace sunlink
