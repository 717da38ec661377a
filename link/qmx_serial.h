// QmxSerial: the link to one charger over one serial port.
//
// Owns the port, the I/O event loop and the reader thread. The reader thread runs every read
// completion and emits, on that thread: rxSignal for every received byte, hexSignal for every
// complete checksum-valid HEX frame, textSignal for every pair of every checksum-valid TEXT block.
// The requesting (main) thread calls send, which emits txSignal on the caller's thread.
//
// The link lock is a recursive mutex held by whoever talks to the charger for a whole conversation;
// the reader thread never takes it, so replies keep flowing while a requester holds it.
//
// Lifecycle: construct (opens the port for exclusive use), start (line settings, receivers, reader
// thread), use, stop (close the port, join the reader), destroy. Users always stop before
// destroying. Not copyable.
#pragma once

#include <atomic>
#include <boost/signals2/signal.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "codec/hex_msg.h"
#include "codec/text_splitter.h"
#include "link/exchange_timeouts.h"

namespace sunlink {

class QmxSerial {
 public:
  // Opens the device exactly as named, for this process alone (a second opener, or a program that
  // already holds the port, gets "open NAME: Device or resource busy"). Throws
  // boost::system::system_error whose text begins with "open " and the name. The line settings the
  // port had are put back when it is closed.
  explicit QmxSerial(const std::string& portName);
  ~QmxSerial();
  QmxSerial(const QmxSerial&) = delete;
  QmxSerial& operator=(const QmxSerial&) = delete;

  // 19200 8N1, no flow control; connects the HEX and TEXT receivers; starts the reader thread.
  bool start();
  // Closes the port and joins the reader thread. Throws system_error "close" on a close failure.
  void stop();
  // Writes the frame text of request (emitting txSignal first). 0 when every byte was written,
  // -3 otherwise; a write error throws system_error "write". Throws interrupted, sending nothing,
  // while the link is interrupted.
  int send(const HexMsg& request);

  // Any thread. From interrupt until allowRequests, send refuses every request, so a conversation
  // ends after the request in flight: no further attempt, no further setting. A store uses it when
  // the user asks the program to end while the charger is switched off.
  void interrupt();
  void allowRequests();

  // TEXT blocks discarded for a bad checksum or length since the link was made (saturates at 255).
  std::uint8_t errorCount() const { return errorCount_.load(); }
  // Any thread. True once reception has ended by an error rather than by stop: the port went away
  // (a USB adapter pulled out, the line hung up) or failed. The link then receives nothing more;
  // a user that listens for long (the watch) stops it and opens the port again once it is back.
  bool receptionFailed() const { return receptionFailed_.load(); }
  // Any thread. The pause the reader makes after each read before it asks for more bytes. None (the
  // default) hands each byte on as soon as it arrives, as a conversation needs; a user that only
  // listens and wants no quick answer (the watch) sets one, so that the bytes of a TEXT block
  // gather in the port's buffer and come in a few reads instead of one wake-up per byte.
  void setReadPause(std::chrono::milliseconds pause) { readPauseMs_.store(pause.count()); }
  std::recursive_mutex& linkLock() { return linkLock_; }
  const std::string& portName() const { return portName_; }

  // Per-attempt exchange time-outs for every HexProtocol bound to this link. Set before use, on the
  // main thread; the program never changes them.
  ExchangeTimeouts timeouts;

  boost::signals2::signal<void(char)> rxSignal;
  boost::signals2::signal<void(const HexMsg&)> hexSignal;
  boost::signals2::signal<void(std::string&)> txSignal;
  boost::signals2::signal<void(const std::string&, const std::string&)> textSignal;

 private:
  void run();
  void startRead();
  void onRead(const boost::system::error_code& error, std::size_t count);
  // The receivers' slot on rxSignal.
  void onReceivedByte(char c);
  void countError();
  void closePort(boost::system::error_code& error);

  std::string portName_;
  // The I/O event loop and the port (Asio), defined in the source file: Asio's headers are heavy,
  // and every file that uses the link would compile them.
  struct Port;
  std::unique_ptr<Port> port_;
  std::recursive_mutex linkLock_;
  std::thread reader_;
  // Receivers, touched by the reader thread only.
  HexReceiver hexReceiver_;
  TextSplitter textSplitter_;
  std::atomic<std::uint8_t> errorCount_{0};
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> receptionFailed_{false};  // written by the reader thread
  // The reader's pause after each read; the pause itself waits in Port, cut short by stop.
  std::atomic<std::int64_t> readPauseMs_{0};
  char readBuffer_[1024];
};

}  // namespace sunlink
