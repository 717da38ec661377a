#include "charger/menu_input.h"

#include <istream>
#include <ostream>

#include "app/errors.h"
#include "charger/charger_settings.h"
#include "charger/value_text.h"
#include "platform/console.h"

namespace sunlink {

namespace {

[[noreturn]] void throwInputEnded() {
  BOOST_THROW_EXCEPTION(input_ended() << tag_what("Standard input ended before x was typed"));
}

}  // namespace

std::string readAnswer(ConsoleIo& io) {
  io.out->flush();
  std::istream& in = *io.in;
  // The sentry flushes a tied stream too and refuses a stream already at its end or failed.
  std::istream::sentry ready(in, true);
  if (!ready) throwInputEnded();

  std::string line;
  bool tooLong = false;
  bool gotAny = false;
  std::streambuf* buffer = in.rdbuf();
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    gotAny = true;
    if (c == '\n') break;
    // One character more than an answer may hold: room for the CR of a CR LF line end.
    if (line.size() <= MAX_ANSWER_LENGTH) {
      line.push_back(static_cast<char>(c));
    } else {
      // Keep reading to the line end so the next answer starts on the next line, but keep nothing.
      tooLong = true;
    }
  }
  if (!gotAny || in.bad()) throwInputEnded();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (tooLong || line.size() > MAX_ANSWER_LENGTH) return UNREADABLE_ANSWER;
  return line;
}

std::string readAnswerLine(ConsoleIo& io) {
  std::string answer = readAnswer(io);
  *io.out << '\n';
  return answer;
}

void redrawSettings(ChargerSettings& model) {
  if (model.io.out == &std::cout) {
    // The clear sequence bypasses the stream's buffer: what the screen showed so far must be out
    // first, or it would land after the clear.
    std::cout.flush();
    clearScreen();
  }
  model.printSettings();
}

std::string settingVolts(ChargerSettings& model, const char* label) {
  return fixedPoint(model.find(label).getNumber(), 2);
}

void reportUnknownOption(ConsoleIo& io) { *io.err << "Unknown option ignored\n\n"; }

}  // namespace sunlink
