// Clearing the screen for the menus: escape codes for a terminal, nothing for a pipe or a file.
#include "platform/console.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/pty.h"

namespace sunlink {
namespace {

// Runs action with standard output pointed at fd, then puts standard output back.
template <class Action>
void withStdoutOn(int fd, Action action) {
  std::cout.flush();
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(fd, STDOUT_FILENO);
  action();
  std::cout.flush();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
}

std::string readAvailable(int fd) {
  std::string text;
  char buffer[256];
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

TEST(ClearScreenTest, ATerminalGetsEraseAndHomeAfterWhatWasWrittenBefore) {
  PseudoTerminal terminal;
  withStdoutOn(terminal.slave(), [] {
    std::cout << "prompt";  // still in the stream's buffer: must come out before the codes
    clearScreen();
  });
  EXPECT_EQ(readAvailable(terminal.master()), "prompt\033[2J\033[H");
}

TEST(ClearScreenTest, APipeGetsNothingButWhatWasWrittenBefore) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  withStdoutOn(fds[1], [] {
    std::cout << "printout\n";
    clearScreen();
  });
  ::close(fds[1]);
  EXPECT_EQ(readAvailable(fds[0]), "printout\n");
  ::close(fds[0]);
}

}  // namespace
}  // namespace sunlink
