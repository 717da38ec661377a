// ConsoleSession: one console dialogue over the settings model, for the menus: the model it shows
// and changes, its setters, the streams it talks through, and the steps every screen shares
// (reading an answer, redrawing the settings, showing what a setter or parser would not take).
// Refers to the model; does not own it. Main thread only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/parsers.h"
#include "charger/setters.h"
#include "console/console_io.h"

namespace sunlink {

// A setter's refusal on err: its reason, then lineEnds line ends (a fault of the settings list
// takes one); nothing when the value was taken or ignored. How many line ends follow is the
// screen's or the option's own layout, given where the setter is called.
void writeRefusal(std::ostream& err, const SetResult& result, int lineEnds);
// A complaint (a parser's, the charge voltage rule's) on err, then an empty line.
void writeComplaint(std::ostream& err, const std::string& complaint);

class ConsoleSession {
 public:
  // A dialogue over the process's standard streams, clearing the screen when standard output is a
  // terminal.
  explicit ConsoleSession(ChargerSettings& model);
  // A dialogue over other streams (tests).
  ConsoleSession(ChargerSettings& model, const ConsoleIo& io);
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  ChargerSettings& model;
  SettingSetters setters;
  ConsoleIo io;

  std::ostream& out() { return *io.out; }
  // One answer line (readAnswer, console/menu_input.h); answerLine also ends the output line.
  std::string answer();
  std::string answerLine();
  // The top of every menu screen: clears the console, then prints the settings. Only the process's
  // own standard output is a console; a dialogue held over other streams is not cleared.
  void redraw();
  // A voltage setting as the menus show it, with two decimals (14.40).
  std::string volts(const char* label);

  // What the setter made of an answer: its refusal on io.err with lineEnds line ends (see
  // writeRefusal).
  void show(const SetResult& result, int lineEnds = 2);
  // A tolerant parser's value; its complaints on io.err, each followed by an empty line.
  template <typename T>
  T take(const Reading<T>& reading) {
    for (const std::string& complaint : reading.complaints) writeComplaint(*io.err, complaint);
    return reading.value;
  }
};

}  // namespace sunlink
