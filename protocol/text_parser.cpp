#include "protocol/text_parser.h"

#include <boost/algorithm/string/predicate.hpp>

#include "base/log.h"
#include "link/qmx_serial.h"

namespace sunlink {

namespace {

const char* const kCategory = "reader";

// The labels that tell what device sends the blocks, in the order they are tested.
const char* const kIdentityLabels[] = {"prod", "ser#", "ver#", "QMX", "PID", "FW"};

bool isIdentityLabel(const std::string& label) {
  for (const char* identity : kIdentityLabels) {
    if (labelsEqual(label, identity)) return true;
  }
  return false;
}

// First value wins: a label already present is left as it is, and only identity labels are kept.
void storePair(TextDictionary& dictionary, const std::string& label, const std::string& value) {
  if (isIdentityLabel(label) && dictionary.addIfAbsent(label, value))
    logInfo(kCategory, "parser: dictionary add (%s = \"%s\")", label.c_str(), value.c_str());
}

void storeHexTrace(TextDictionary& dictionary, const HexMsg& msg) {
  if (dictionary.size() != 0) return;
  HexMsg copy(msg);
  const std::uint8_t code = copy.read8();
  copy.read16();
  copy.read8();
  if (copy.good() || code == 5) storePair(dictionary, "PID", "????");
}

}  // namespace

bool labelsEqual(const std::string& a, const std::string& b) {
  return boost::algorithm::iequals(a, b);
}

bool TextDictionary::addIfAbsent(const std::string& label, const std::string& value) {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const QmxValue& entry : entries_) {
    if (labelsEqual(entry.label, label)) return false;
  }
  entries_.push_back(QmxValue{value, label});
  return true;
}

bool TextDictionary::lookup(const std::string& label, QmxValue& out) const {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const QmxValue& entry : entries_) {
    if (labelsEqual(entry.label, label)) {
      out = entry;
      return true;
    }
  }
  return false;
}

std::size_t TextDictionary::size() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return entries_.size();
}

std::vector<QmxValue> TextDictionary::entries() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return entries_;
}

// A signal may already be calling a slot when the parser disconnects it, and the caller frees the
// dictionary right after the parser. The slots therefore hold this part by shared pointer and work
// under its mutex; the destructor clears the dictionary pointer under the same mutex, so a late
// call finds nothing to write to.
struct QmxGetParser::Sink {
  std::mutex mutex;
  TextDictionary* dictionary;  // guarded by mutex; null once the parser is gone

  void text(const std::string& label, const std::string& value) {
    std::lock_guard<std::mutex> guard(mutex);
    if (dictionary) storePair(*dictionary, label, value);
  }

  void hex(const HexMsg& msg) {
    std::lock_guard<std::mutex> guard(mutex);
    if (dictionary) storeHexTrace(*dictionary, msg);
  }
};

QmxGetParser::QmxGetParser(QmxSerial& link, TextDictionary& dictionary)
    : dictionary_(dictionary), sink_(std::make_shared<Sink>()) {
  sink_->dictionary = &dictionary;
  std::shared_ptr<Sink> sink = sink_;
  logInfo(kCategory, "parser: establish hex protocol connection");
  hexConnection_ = link.hexSignal.connect([sink](const HexMsg& msg) { sink->hex(msg); });
  logInfo(kCategory, "parser: establish text protocol connection");
  textConnection_ = link.textSignal.connect(
      [sink](const std::string& label, const std::string& value) { sink->text(label, value); });
}

QmxGetParser::~QmxGetParser() {
  if (hexConnection_.connected()) {
    logInfo(kCategory, "parser: disconnect hex protocol connection");
    hexConnection_.disconnect();
  }
  if (textConnection_.connected()) {
    logInfo(kCategory, "parser: disconnect text protocol connection");
    textConnection_.disconnect();
  }
  std::lock_guard<std::mutex> guard(sink_->mutex);
  sink_->dictionary = nullptr;
}

void QmxGetParser::onText(const std::string& label, const std::string& value) {
  sink_->text(label, value);
}

void QmxGetParser::onHex(const HexMsg& msg) { sink_->hex(msg); }

}  // namespace sunlink
