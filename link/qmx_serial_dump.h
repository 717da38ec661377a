// QmxSerialDump: copies a link's traffic to an output stream for diagnosis (--dump).
// Received bytes are copied as they arrive, with "< " before every ":"; every sent frame is written
// as "> " + its frame text. Refers to the link and the stream; owns only its two connections.
// Connect and disconnect on the main thread; the receive printer runs on the reader thread.
#pragma once

#include <boost/signals2/connection.hpp>
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

  void connectDump();
  void disconnectDump();
  void onReceivedChar(char c);
  void onSentFrame(std::string& frame);

 private:
  boost::signals2::connection rxConnection_;
  boost::signals2::connection txConnection_;
  QmxSerial& link_;
  std::ostream& out_;
};

}  // namespace sunlink
