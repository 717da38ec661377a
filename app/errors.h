// The program's own failures. They carry their message under tag_what and, where the failure
// decides the exit status, the status under tag_exit_code; only the front end catches generally and
// prints the ERROR banner from them.
#pragma once

#include <boost/exception/all.hpp>
#include <exception>
#include <string>

namespace sunlink {

typedef boost::error_info<struct tag_what_, std::string> tag_what;
typedef boost::error_info<struct tag_exit_code_, int> tag_exit_code;
// Carried by failures that happen in the middle of an update (never set by this program, but the
// banner honours it).
typedef boost::error_info<struct tag_update_state_, std::string> tag_update_state;

// The device gave no usable answer to a HEX request within all attempts.
struct no_response : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "no response"; }
};

// The vreg table was used wrongly: duplicate label, unknown label.
struct settings_error : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "settings error"; }
};

// Standard input ended while a menu waited for an answer: nothing may be stored.
struct input_ended : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "input ended"; }
};

}  // namespace sunlink
