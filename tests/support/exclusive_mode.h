// Whether a terminal is in exclusive mode (TIOCEXCL: new opens refused to all but root), for the
// tests that check the link takes a port for itself and lets go of it again.
#pragma once

#include <string>

namespace sunlink {
namespace test {

// fd is an open descriptor of the terminal at path. Throws when the terminal cannot be asked.
bool inExclusiveMode(int fd, const std::string& path);

}  // namespace test
}  // namespace sunlink
