// The console dialogue shared by the menu screens: reading one answer line, holding the messages a
// redraw would clear, and the unknown-option message. Main thread only.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

#include "console/console_io.h"

namespace sunlink {

// The longest answer line kept. A longer line is read to its end and dropped, so a huge input
// without line ends (a file piped in by mistake) cannot exhaust memory.
constexpr std::size_t MAX_ANSWER_LENGTH = 4096;

// What an over-long line is answered as: a lone line end. No line read from the console can hold
// one, so it equals no key, and every parser refuses it with "Unable to interpret value".
inline const std::string UNREADABLE_ANSWER = "\n";

// Flushes io.out (so the prompt is seen before the program waits), then reads one line from io.in
// up to '\n'. The '\n' is dropped, and a '\r' just before it (CR LF line ends, from a script
// written on Windows or a serial terminal); nothing else is stripped: the answer is compared as
// typed. A last line without '\n' before the end of input still counts as an answer. Throws
// input_ended when the input has ended (or failed) before any character of the line: nothing can be
// typed any more, so the menus must be left at once instead of asking again and again.
std::string readAnswer(ConsoleIo& io);
// readAnswer, then a line end on io.out (the answer's own line end was read, not echoed).
std::string readAnswerLine(ConsoleIo& io);

// "Unknown option ignored" and an empty line on io.err.
void reportUnknownOption(ConsoleIo& io);

// A stream buffer that passes everything on to target and keeps a copy in copy. Unbuffered, so
// the target's own flushing (a line at once on standard error) is kept.
class CopyingStreamBuffer : public std::streambuf {
 public:
  CopyingStreamBuffer(std::ostream& target, std::string& copy) : target_(target), copy_(copy) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize n) override;
  int sync() override;

 private:
  std::ostream& target_;
  std::string& copy_;
};

// On a terminal every redraw clears the screen, and with it whatever the last answer made the
// program say ("Unknown option ignored", a refused value, a notice). While a menu runs on a screen
// (io.screen), a MessageEcho holds a copy of all that is written on io.err and on
// noticeStream(io), and showHeldMessages writes it again, once, just above the next key prompt.
// The outermost menu's echo does the work; one in a submenu finds it in place and does nothing.
// Off a screen nothing changes: piped output stays as it is. Restores io when it goes.
class MessageEcho {
 public:
  explicit MessageEcho(ConsoleIo& io);
  ~MessageEcho();
  MessageEcho(const MessageEcho&) = delete;
  MessageEcho& operator=(const MessageEcho&) = delete;

 private:
  ConsoleIo& io_;
  bool active_ = false;
  std::ostream* err_;  // io.err as it was
  std::string held_;
  CopyingStreamBuffer errCopy_;
  CopyingStreamBuffer noticeCopy_;
  std::ostream errStream_;
  std::ostream noticeStream_;
};

// Where the menus write a notice for the person at the screen ("Using built-in default values"):
// io.out, through a MessageEcho's copy while one holds messages.
std::ostream& noticeStream(ConsoleIo& io);

// Called by every menu just before its key prompt: writes on io.out what the answers since the
// last key prompt made the program say, and forgets it. Nothing off a screen.
void showHeldMessages(ConsoleIo& io);

}  // namespace sunlink
