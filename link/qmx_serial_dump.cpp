#include "link/qmx_serial_dump.h"

#include <mutex>

#include "base/log.h"
#include "link/qmx_serial.h"

namespace sunlink {

namespace {
const char* const kCategory = "serial";
}  // namespace

// The link may be calling a printer at the moment it is disconnected, and the stream may go right
// after the dump. The slots hold this part by shared pointer and write under its mutex; the
// destructor clears the stream pointer under the same mutex.
struct QmxSerialDump::Printer {
  std::mutex mutex;
  std::ostream* out;  // guarded by mutex; null once the dump is gone

  void received(char c) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!out) return;
    // A ":" starts a HEX frame; the mark follows the character, not the protocol state, so a ":"
    // inside a TEXT value is marked too.
    if (c == ':') *out << "< ";
    out->put(c);
  }

  void sent(const std::string& frame) {
    std::lock_guard<std::mutex> guard(mutex);
    if (out) *out << "> " << frame;
  }
};

QmxSerialDump::QmxSerialDump(QmxSerial& link, std::ostream& out)
    : link_(link), printer_(std::make_shared<Printer>()) {
  printer_->out = &out;
}

QmxSerialDump::~QmxSerialDump() {
  disconnectDump();
  std::lock_guard<std::mutex> guard(printer_->mutex);
  printer_->out = nullptr;
}

void QmxSerialDump::connectDump() {
  std::shared_ptr<Printer> printer = printer_;
  if (!rxConnection_.connected()) {
    logInfo(kCategory, "dumper: connect rx");
    rxConnection_ = link_.rxSignal.connect([printer](char c) { printer->received(c); });
  }
  if (!txConnection_.connected()) {
    logInfo(kCategory, "dumper: connect tx");
    txConnection_ = link_.txSignal.connect([printer](std::string& frame) { printer->sent(frame); });
  }
}

void QmxSerialDump::disconnectDump() {
  if (rxConnection_.connected()) {
    logInfo(kCategory, "dumper: disconnect rx");
    rxConnection_.disconnect();
  }
  if (txConnection_.connected()) {
    logInfo(kCategory, "dumper: disconnect tx");
    txConnection_.disconnect();
  }
}

void QmxSerialDump::onReceivedChar(char c) { printer_->received(c); }

void QmxSerialDump::onSentFrame(std::string& frame) { printer_->sent(frame); }

}  // namespace sunlink
