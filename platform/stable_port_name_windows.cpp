#include "platform/stable_port_name.h"

namespace sunlink {

std::string stablePortName(const std::string&, const std::string&) { return ""; }

std::string stablePortName(const std::string&) { return ""; }

}  // namespace sunlink
