// Where the console dialogue goes: the process's standard streams, or string streams in tests.
#pragma once

#include <iostream>
#include <string>

namespace sunlink {

struct ConsoleIo {
  std::istream* in = &std::cin;
  std::ostream* out = &std::cout;
  std::ostream* err = &std::cerr;
  // Whether out shows on a terminal, whose screen each menu redraw clears. A session over the
  // process's streams asks the platform; tests may set it.
  bool screen = false;
  // Whether in is typed by a person at a terminal, who is asked before a step that cannot be
  // undone. Input from a script or a file is never asked: it was written for the menus as they
  // are. A session over the process's streams asks the platform; tests may set it.
  bool typed = false;
  // Set while a menu session runs on a screen (MessageEcho, console/menu_input.h): the messages
  // of the last answer, held to be shown again after the redraw, and the stream the menus write
  // their notices on (a copy of out whose text is held too). Null otherwise.
  std::string* heldMessages = nullptr;
  std::ostream* notices = nullptr;
};

}  // namespace sunlink
