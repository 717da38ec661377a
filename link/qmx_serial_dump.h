// QmxSerialDump: copies a link's traffic to an output stream for diagnosis (--dump).
// Received bytes are copied as they arrive, with "< " before every ":"; every sent frame is written
// as "> " + its frame text. Neither printer adds line ends or flushes.
//
// Refers to the link and the stream; owns only its two connections. Connect and disconnect on the
// main thread; the receive printer runs on the reader thread, the send printer on the sending
// thread. The two printers write under one mutex, so the stream needs no locking of its own; once
// the destructor has returned neither printer touches the stream any more.
#pragma once

#include <boost/signals2/connection.hpp>
#include <memory>
#include <ostream>
#include <string>

namespace sunlink {

class QmxSerial;

class QmxSerialDump {
 public:
  QmxSerialDump(QmxSerial& link, std::ostream& out);
  ~QmxSerialDump();  // disconnects both directions
  QmxSerialDump(const QmxSerialDump&) = delete;
  QmxSerialDump& operator=(const QmxSerialDump&) = delete;

  // Subscribes the printers; a direction already connected stays as it is.
  void connectDump();
  // Unsubscribes the printers; a direction not connected stays as it is.
  void disconnectDump();
  void onReceivedChar(char c);
  void onSentFrame(std::string& frame);

 private:
  struct Printer;  // the stream and its mutex, shared with the slots

  boost::signals2::connection rxConnection_;
  boost::signals2::connection txConnection_;
  QmxSerial& link_;
  std::shared_ptr<Printer> printer_;
};

}  // namespace sunlink
