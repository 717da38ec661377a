#include "app/error_banner.h"

#include <boost/exception/get_error_info.hpp>
#include <string>

#include "base/errors.h"
#include "base/statuses.h"

namespace sunlink {

namespace {

const char* const openingLine = "========================== ERROR =============================\n";
const char* const closingLine = "==============================================================\n";

// The failure's own message: the text it carries, else what it says of itself. The exception
// library's diagnostic report (throw locations, type names) is for the program's developers, not
// for the user at the terminal.
int writeBoostFailure(const boost::exception& failure, std::ostream& err) {
  err << openingLine;
  if (const std::string* what = boost::get_error_info<tag_what>(failure))
    err << *what;
  else if (const auto* standard = dynamic_cast<const std::exception*>(&failure))
    err << standard->what();
  else
    err << "Unknown exception";
  err << '\n' << closingLine;
  const int* exitCode = boost::get_error_info<tag_exit_code>(failure);
  return exitCode ? *exitCode : kExitFailure;
}

}  // namespace

int writeErrorBanner(std::exception_ptr failure, std::ostream& err) {
  int status = kExitFailure;
  try {
    std::rethrow_exception(failure);
  } catch (const boost::exception& e) {
    status = writeBoostFailure(e, err);
  } catch (const std::exception& e) {
    err << openingLine << e.what() << '\n' << closingLine;
  } catch (...) {
    err << openingLine << "Unknown exception\n" << closingLine;
  }
  err.flush();
  return status;
}

std::string failureText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const boost::exception& e) {
    if (const std::string* what = boost::get_error_info<tag_what>(e)) return *what;
    if (const auto* standard = dynamic_cast<const std::exception*>(&e)) return standard->what();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unknown exception";
}

}  // namespace sunlink
