#include <windows.h>

#include "platform/port_names.h"
#include "platform/saved_line_settings.h"
#include "platform/serial_port.h"

namespace sunlink {

namespace {

// How a port was set up before this program opened it, put back when it lets the port go: the
// next program on the port (a terminal, the charger maker's tool) finds it as it left it.
struct LineSettings {
  DCB dcb;
  COMMTIMEOUTS timeouts;
};

// A copy: the system calls take the settings as changeable.
void putBack(HANDLE port, LineSettings settings) {
  SetCommState(port, &settings.dcb);
  SetCommTimeouts(port, &settings.timeouts);
}

void failWith(DWORD error, boost::system::error_code& ec) {
  ec.assign(static_cast<int>(error), boost::system::system_category());
}

// The raw line the I/O library sets up when it opens a port itself: binary, NUL bytes kept, line
// errors not ending I/O, no flow control in either direction, DTR and RTS off. Rate, character
// size, parity and stop bits are set by the link when it starts.
bool makeRaw(HANDLE port, DCB dcb) {
  dcb.fBinary = TRUE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fParity = FALSE;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(port, &dcb)) return false;
  // A read waits for the first byte and then returns with what has come, like a read on a
  // socket, so the reader hands each byte on as it arrives. Writes wait until all is sent.
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = 1;
  return SetCommTimeouts(port, &timeouts) != FALSE;
}

std::wstring widen(const std::string& text) {
  // Port names are ASCII; the process code page is the one the C runtime reads names in.
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace

SerialPortHandle openSerialPortExclusive(const std::string& path, boost::system::error_code& ec) {
  ec.clear();
  // No sharing: Windows refuses every further opener of the port while this handle is open
  // (ERROR_ACCESS_DENIED), which is the exclusive claim. Overlapped, because the I/O library
  // reads and writes through an I/O completion port.
  const std::wstring name = widen(windowsDevicePath(path));
  const HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    failWith(GetLastError(), ec);
    return INVALID_HANDLE_VALUE;
  }
  // Read before anything is changed. A device that has no line settings is no serial port.
  LineSettings earlier;
  earlier.dcb = {};
  earlier.dcb.DCBlength = sizeof(DCB);
  if (!GetCommState(port, &earlier.dcb) || !GetCommTimeouts(port, &earlier.timeouts)) {
    failWith(GetLastError(), ec);
    CloseHandle(port);
    return INVALID_HANDLE_VALUE;
  }
  keepLineSettings(port, [port, earlier] { putBack(port, earlier); });
  if (!makeRaw(port, earlier.dcb)) {
    failWith(GetLastError(), ec);
    // Half-changed settings are put back as they were.
    restoreSerialPortSettings(port);
    CloseHandle(port);
    return INVALID_HANDLE_VALUE;
  }
  return port;
}

std::string serialPortGroup(const std::string&) { return ""; }

void closeSerialPort(SerialPortHandle port) {
  restoreSerialPortSettings(port);
  releaseSerialPortExclusive(port);
  CloseHandle(port);
}

// The claim itself ends with the handle.
void releaseSerialPortExclusive(SerialPortHandle) {}

std::string portOpenFailureKind(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return "";
  switch (ec.value()) {
    // Windows never shares a COM port: a second opener is refused access.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "busy";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "missing";
    default:
      return "";
  }
}

}  // namespace sunlink
