// The ERROR banner: how a failure that reached the top of the run is shown to the user.
#pragma once

#include <exception>
#include <ostream>
#include <string>

namespace sunlink {

// Writes the ERROR banner for failure on err and returns the status the program ends with:
//  - a failure carrying Boost.Exception information: its message (tag_what, else its own what()),
//    and its tag_exit_code (-1 when it carries none);
//  - any other standard exception: its message text, -1;
//  - anything else: "Unknown exception", -1.
int writeErrorBanner(std::exception_ptr failure, std::ostream& err);

// The message the banner shows for failure, for the JSON document's "error".
std::string failureText(std::exception_ptr failure);

}  // namespace sunlink
