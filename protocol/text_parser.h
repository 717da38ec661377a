// QmxGetParser: collects the identity labels of a charger's TEXT blocks into a TextDictionary.
#pragma once

#include <boost/signals2/connection.hpp>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/hex_msg.h"

namespace sunlink {

class QmxSerial;

struct QmxValue {
  std::string value;
  std::string label;
};

// Entries in order of first arrival, one per label (labels compared without regard to case).
// Appended on the reader thread, read on the main thread: every member is guarded by mutex_.
class TextDictionary {
 public:
  // Appends unless the label is present; returns whether it appended.
  bool addIfAbsent(const std::string& label, const std::string& value);
  bool lookup(const std::string& label, QmxValue& out) const;
  std::size_t size() const;
  std::vector<QmxValue> entries() const;

 private:
  mutable std::mutex mutex_;
  std::vector<QmxValue> entries_;  // guarded by mutex_
};

class QmxGetParser {
 public:
  // Connects to the link's hexSignal and textSignal. The dictionary must outlive the parser; the
  // link may go first (destroying its signals cuts the connections).
  QmxGetParser(QmxSerial& link, TextDictionary& dictionary);
  ~QmxGetParser();
  QmxGetParser(const QmxGetParser&) = delete;
  QmxGetParser& operator=(const QmxGetParser&) = delete;

  void onText(const std::string& label, const std::string& value);
  void onHex(const HexMsg& msg);
  bool lookup(const std::string& label, QmxValue& out) const { return dictionary_.lookup(label, out); }

 private:
  QmxSerial& link_;
  TextDictionary& dictionary_;
  boost::signals2::connection hexConnection_;
  boost::signals2::connection textConnection_;
};

}  // namespace sunlink
