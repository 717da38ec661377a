// Who besides its owner may read a file: for files that hold a secret, such as the password the
// program logs in to an MQTT broker with, which the user should keep to themselves.
#pragma once

#include <string>

namespace sunlink {

// Linux: empty when neither the file's group nor others may read it (or it cannot be looked at),
// else who may, with the file's permission bits: "its group (mode 0640)", "others (mode 0604)",
// "its group and others (mode 0644)". Windows: always empty; nothing is checked there, since who
// may read a file is decided by its access control list, which no short answer sums up.
std::string otherReaders(const std::string& path);

}  // namespace sunlink
