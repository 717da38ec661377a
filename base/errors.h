// The program's own failures. They carry their message under tag_what and, where the failure
// decides the exit status, the status under tag_exit_code; only the front end catches generally and
// prints the ERROR banner from them.
#pragma once

// Only the parts used: all.hpp would add exception_ptr, diagnostic texts and the errinfo types,
// which cost every file that includes this one a second or two to compile.
#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/exception/info.hpp>
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

// The user asked the program to end (a termination signal) while the charger was switched off for
// a store. Raised by the link to stop the store after the request in flight; raised by the store,
// with the exit status 128 + the signal number under tag_exit_code, once the charger has been
// switched on again and the user told what was not written.
struct interrupted : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "interrupted"; }
};

// Standard input ended while a menu waited for an answer: nothing may be stored.
struct input_ended : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "input ended"; }
};

// Ends the run with the status under tag_exit_code, without the ERROR banner: the step that throws
// it has already told the user why (a log line, a message). Thrown by steps that several paths of
// the run share; the run sequence catches it and ends with that status.
struct run_ended : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "run ended"; }
};

}  // namespace sunlink
