// QmxGetParser: collects the identity labels of a charger's TEXT blocks into a TextDictionary.
#pragma once

#include <boost/signals2/connection.hpp>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codec/hex_msg.h"

namespace sunlink {

class QmxSerial;

struct QmxValue {
  std::string value;
  std::string label;
};

// Equal length and equal characters after upper-casing both in the global locale.
bool labelsEqual(const std::string& a, const std::string& b);

// Entries in order of first arrival, one per label (labels compared without regard to case).
// Appended on the reader thread, read on the main thread: every member is guarded by mutex_.
class TextDictionary {
 public:
  // Appends unless the label is present; returns whether it appended.
  bool addIfAbsent(const std::string& label, const std::string& value);
  // Copies the first entry whose label equals label (any case) to out; out is left alone when
  // there is none.
  bool lookup(const std::string& label, QmxValue& out) const;
  std::size_t size() const;
  std::vector<QmxValue> entries() const;

 private:
  mutable std::mutex mutex_;
  std::vector<QmxValue> entries_;  // guarded by mutex_
};

// Listens to one link and stores the identity pairs ("prod", "ser#", "ver#", "QMX", "PID", "FW")
// it delivers; the first value of a label wins. A HEX frame seen while the dictionary is still
// empty stores PID = "????", so a device that answers in HEX leaves a trace that is no product id.
//
// Owns its two connections only. The dictionary must outlive the parser; the link may go first
// (destroying its signals cuts the connections). Constructed and destroyed on the main thread; the
// slots run on the link's reader thread. Once the destructor has returned no slot touches the
// parser or the dictionary any more, even one that was already running when it began.
class QmxGetParser {
 public:
  QmxGetParser(QmxSerial& link, TextDictionary& dictionary);
  ~QmxGetParser();
  QmxGetParser(const QmxGetParser&) = delete;
  QmxGetParser& operator=(const QmxGetParser&) = delete;

  void onText(const std::string& label, const std::string& value);
  void onHex(const HexMsg& msg);
  bool lookup(const std::string& label, QmxValue& out) const {
    return dictionary_.lookup(label, out);
  }

 private:
  struct Sink;  // the part the slots share, alive as long as a slot may run

  TextDictionary& dictionary_;
  std::shared_ptr<Sink> sink_;
  boost::signals2::connection hexConnection_;
  boost::signals2::connection textConnection_;
};

}  // namespace sunlink
