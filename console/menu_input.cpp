#include "console/menu_input.h"

#include <istream>
#include <ostream>

#include "base/errors.h"

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

void reportUnknownOption(ConsoleIo& io) { *io.err << "Unknown option ignored\n\n"; }

CopyingStreamBuffer::int_type CopyingStreamBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char character = traits_type::to_char_type(c);
  copy_.push_back(character);
  target_.put(character);
  return target_ ? c : traits_type::eof();
}

std::streamsize CopyingStreamBuffer::xsputn(const char* text, std::streamsize n) {
  copy_.append(text, static_cast<std::size_t>(n));
  target_.write(text, n);
  return target_ ? n : 0;
}

int CopyingStreamBuffer::sync() { return target_.flush() ? 0 : -1; }

MessageEcho::MessageEcho(ConsoleIo& io)
    : io_(io),
      err_(io.err),
      errCopy_(*io.err, held_),
      noticeCopy_(*io.out, held_),
      errStream_(&errCopy_),
      noticeStream_(&noticeCopy_) {
  if (!io.screen || io.heldMessages != nullptr) return;
  active_ = true;
  io.err = &errStream_;
  io.notices = &noticeStream_;
  io.heldMessages = &held_;
}

MessageEcho::~MessageEcho() {
  if (!active_) return;
  io_.err = err_;
  io_.notices = nullptr;
  io_.heldMessages = nullptr;
}

std::ostream& noticeStream(ConsoleIo& io) { return io.notices != nullptr ? *io.notices : *io.out; }

void showHeldMessages(ConsoleIo& io) {
  if (io.heldMessages == nullptr) return;
  *io.out << *io.heldMessages;
  io.heldMessages->clear();
}

}  // namespace sunlink
