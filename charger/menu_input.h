// The console dialogue shared by the menu screens: reading one answer line, redrawing the screen
// and the unknown-option message. Main thread only.
#pragma once

#include <cstddef>
#include <string>

namespace sunlink {

struct ConsoleIo;
class ChargerSettings;

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

// The top of every menu screen: clears the console, then prints the settings. Only the process's
// own standard output is a console; a dialogue held over other streams (tests) is not cleared.
void redrawSettings(ChargerSettings& model);

// A voltage setting as the menus show it, with two decimals (14.40).
std::string settingVolts(ChargerSettings& model, const char* label);

// "Unknown option ignored" and an empty line on io.err.
void reportUnknownOption(ConsoleIo& io);

}  // namespace sunlink
