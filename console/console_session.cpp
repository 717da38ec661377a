#include "console/console_session.h"

#include <iostream>

#include "charger/value_text.h"
#include "console/menu_input.h"
#include "console/printout.h"
#include "platform/console.h"

namespace sunlink {

void writeRefusal(std::ostream& err, const SetResult& result, int lineEnds) {
  if (result.why().empty()) return;
  // A settings list without what the setter needs has always been told on a line of its own.
  if (result.kind() == SetResult::Kind::listFault) lineEnds = 1;
  err << result.why();
  for (int i = 0; i < lineEnds; ++i) err << '\n';
}

void writeComplaint(std::ostream& err, const std::string& complaint) { err << complaint << "\n\n"; }

ConsoleSession::ConsoleSession(ChargerSettings& model) : model(model), setters(model) {
  io.screen = standardOutputIsTerminal();
  io.typed = standardInputIsTerminal();
}

ConsoleSession::ConsoleSession(ChargerSettings& model, const ConsoleIo& io)
    : model(model), setters(model), io(io) {}

std::string ConsoleSession::answer() { return readAnswer(io); }

std::string ConsoleSession::answerLine() { return readAnswerLine(io); }

void ConsoleSession::redraw() {
  if (io.out == &std::cout) {
    // The clear sequence bypasses the stream's buffer: what the screen showed so far must be out
    // first, or it would land after the clear.
    std::cout.flush();
    clearScreen();
  }
  printSettings(model, *io.out);
}

std::string ConsoleSession::volts(const char* label) {
  return fixedPoint(model.find(label).getNumber(), 2);
}

void ConsoleSession::show(const SetResult& result, int lineEnds) {
  writeRefusal(*io.err, result, lineEnds);
}

}  // namespace sunlink
