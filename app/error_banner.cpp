#include "app/error_banner.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>
#include <string>

#include "base/errors.h"
#include "base/statuses.h"

namespace sunlink {

namespace {

const char* const openingLine = "========================== ERROR =============================\n";
const char* const dividingLine = "--------------------------------------------------------------\n";
const char* const closingLine = "==============================================================\n";

int writeBoostFailure(const boost::exception& failure, std::ostream& err) {
  err << openingLine;
  if (const std::string* what = boost::get_error_info<tag_what>(failure))
    err << *what << ' ';
  else if (!boost::get_error_info<tag_update_state>(failure))
    err << "don't know....";
  err << '\n' << dividingLine;
  const std::string diagnostics = boost::diagnostic_information(failure);
  err << diagnostics;
  if (diagnostics.empty() || diagnostics.back() != '\n') err << '\n';
  err << closingLine;
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

}  // namespace sunlink
