#include "link/qmx_serial.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/write.hpp>
#include <boost/throw_exception.hpp>
#include <condition_variable>
#include <exception>
#include <system_error>

#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "platform/serial_port.h"

namespace sunlink {

struct QmxSerial::Port {
  boost::asio::io_context io;
  boost::asio::serial_port port{io};
  // The reader's pause between reads is cut short when stop begins.
  std::mutex pauseMutex;
  std::condition_variable pauseEnd;
  bool stopping = false;  // guarded by pauseMutex
};

QmxSerial::QmxSerial(const std::string& portName)
    : portName_(portName), port_(std::make_unique<Port>()) {
  boost::system::error_code error;
  // The message names the port: with several adapters the user must know which one failed.
  const SerialPortHandle handle = openSerialPortExclusive(portName_, error);
  if (error) boost::throw_exception(boost::system::system_error(error, "open " + portName_));
  port_->port.assign(handle, error);
  if (error) {
    closeSerialPort(handle);
    boost::throw_exception(boost::system::system_error(error, "open " + portName_));
  }
}

QmxSerial::~QmxSerial() {
  // Users stop the link before they drop it; this is the safety net for a link abandoned on the
  // way out of an error. The reader thread uses every member, so it must be gone first.
  if (reader_.joinable()) {
    try {
      stop();
    } catch (...) {
    }
    // Only left joinable when destroyed from the reader thread itself, which cannot join itself.
    if (reader_.joinable()) reader_.detach();
  } else {
    boost::system::error_code ignored;
    closePort(ignored);
  }
}

bool QmxSerial::start() {
  if (reader_.joinable()) {
    logError("serial", "thread not available");
    return true;
  }
  logInfo("serial", "port open");

  using boost::asio::serial_port_base;
  port_->port.set_option(serial_port_base::baud_rate(19200));
  port_->port.set_option(serial_port_base::character_size(8));
  port_->port.set_option(serial_port_base::flow_control(serial_port_base::flow_control::none));
  port_->port.set_option(serial_port_base::parity(serial_port_base::parity::none));
  port_->port.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one));

  // One slot runs both receivers, so subscribers connected before start see each byte before
  // them and later ones after them.
  rxSignal.connect([this](char c) { onReceivedByte(c); });

  // The first read is queued here, before the thread exists: queuing it switches the port's
  // internal non-blocking state, which the main thread's writes read. After this the reader
  // thread only re-queues reads, which leaves that state alone.
  startRead();
  reader_ = std::thread([this] { run(); });
  return true;
}

void QmxSerial::run() {
  logInfo("serial", "thread start");
  try {
    port_->io.run();
  } catch (const std::exception& e) {
    // A slot on one of the signals threw. Nothing on this thread can handle it: reception ends
    // here, the exchanges run into their time-outs, and stop still closes and joins as usual.
    logError("serial", "reception ended by an error: %s", e.what());
    receptionFailed_.store(true);
  } catch (...) {
    logError("serial", "reception ended by an unknown error");
    receptionFailed_.store(true);
  }
  logInfo("serial", "thread stopped");
}

void QmxSerial::startRead() {
  port_->port.async_read_some(
      boost::asio::buffer(readBuffer_),
      [this](const boost::system::error_code& error, std::size_t count) { onRead(error, count); });
}

void QmxSerial::onRead(const boost::system::error_code& error, std::size_t count) {
  if (error) {
    // Also the normal end: stop closes the port and the pending read comes back aborted.
    logWarning("serial", "serial port error [%s]: %s (%d)", error.category().name(),
               error.message().c_str(), error.value());
    // The read that stop aborts is no failure, nor is any other error once stop has begun (the
    // port is being closed under the read); any other error ends reception for good (a pulled
    // adapter reads as an error or as the end of the file, which Asio reports as one too).
    bool stopping = false;
    {
      std::lock_guard<std::mutex> lock(port_->pauseMutex);
      stopping = port_->stopping;
    }
    if (error != boost::asio::error::operation_aborted && !stopping) receptionFailed_.store(true);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) rxSignal(readBuffer_[i]);
  const std::chrono::milliseconds pause(readPauseMs_.load());
  if (pause.count() > 0) {
    // The bytes that come meanwhile wait in the port's buffer (4 KiB, two seconds of the line).
    // Not a timer of the event loop: while the loop waits, it watches the port and would wake for
    // every byte that arrives, read or not.
    std::unique_lock<std::mutex> lock(port_->pauseMutex);
    port_->pauseEnd.wait_for(lock, pause, [this] { return port_->stopping; });
  }
  startRead();
}

void QmxSerial::onReceivedByte(char c) {
  // The HEX assembler sees every byte before the TEXT splitter.
  if (hexReceiver_.feed(c)) hexSignal(hexReceiver_.frame());
  const TextSplitter::Outcome outcome = textSplitter_.feed(c);
  if (outcome.validBlock) {
    extractPairs(
        textSplitter_.lastBlock(),
        [this](const std::string& label, const std::string& value) { textSignal(label, value); });
  }
  if (outcome.badChecksum) {
    logInfo("serial", "invalid TEXT checksum received, ignoring");
    countError();
  }
  if (outcome.badLength) {
    logInfo("serial", "invalid block length received, ignoring");
    countError();
  }
}

void QmxSerial::countError() {
  // Only the reader thread writes the count, so load and store need not be one step.
  const std::uint8_t count = errorCount_.load();
  if (count != 255) errorCount_.store(static_cast<std::uint8_t>(count + 1));
}

void QmxSerial::closePort(boost::system::error_code& error) {
  error.clear();
  if (!port_->port.is_open()) return;
  restoreSerialPortSettings(port_->port.native_handle());
  releaseSerialPortExclusive(port_->port.native_handle());
  port_->port.close(error);
}

void QmxSerial::stop() {
  boost::system::error_code closeError;
  if (!reader_.joinable()) {
    closePort(closeError);
  } else if (std::this_thread::get_id() == reader_.get_id()) {
    closePort(closeError);
    if (closeError) boost::throw_exception(boost::system::system_error(closeError, "close"));
    // A thread cannot join itself: the handle stays joinable, and the destructor lets it go.
    boost::throw_exception(
        std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                          "boost thread: trying joining itself"));
  } else {
    {
      std::lock_guard<std::mutex> lock(port_->pauseMutex);
      port_->stopping = true;
    }
    port_->pauseEnd.notify_all();
    // The port belongs to the reader thread while it runs, so the close is handed to it; the
    // aborted read then ends the event loop and the thread. If reception had already ended (a
    // read error), the handed-over close never runs and is done here once the thread is gone.
    bool closed = false;  // written by the reader thread, read after the join
    boost::asio::post(port_->io, [this, &closed, &closeError] {
      closePort(closeError);
      closed = true;
    });
    reader_.join();
    if (!closed) closePort(closeError);
  }
  if (closeError) boost::throw_exception(boost::system::system_error(closeError, "close"));
}

void QmxSerial::interrupt() { interrupted_.store(true); }

void QmxSerial::allowRequests() { interrupted_.store(false); }

int QmxSerial::send(const HexMsg& request) {
  std::lock_guard<std::recursive_mutex> lock(linkLock_);
  if (interrupted_.load()) {
    boost::throw_exception(interrupted() << tag_what("the conversation with the charger was "
                                                     "interrupted"));
  }
  std::string text = request.toText();
  txSignal(text);
  const std::size_t written = boost::asio::write(port_->port, boost::asio::buffer(text));
  return written == text.size() ? kExchangeOk : kExchangeFailed;
}

}  // namespace sunlink
