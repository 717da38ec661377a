// The ERROR banner that ends a run when a failure reaches the top.
#include "app/error_banner.h"

#include <gtest/gtest.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>
#include <sstream>
#include <stdexcept>

#include "base/errors.h"

namespace sunlink {
namespace {

const std::string opening = "========================== ERROR =============================\n";
const std::string dividing = "--------------------------------------------------------------\n";
const std::string closing = "==============================================================\n";

template <class Failure>
std::exception_ptr thrown(const Failure& failure) {
  try {
    throw failure;
  } catch (...) {
    return std::current_exception();
  }
}

std::string diagnosticsOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const boost::exception& e) {
    return boost::diagnostic_information(e);
  }
}

TEST(ErrorBannerTest, ProgramFailuresShowTheirMessageDiagnosticsAndExitCode) {
  const struct {
    const char* name;
    std::exception_ptr failure;
    std::string firstLine;
    int status;
  } cases[] = {
      {"message and status", thrown(no_response() << tag_what("no response") << tag_exit_code(3)),
       "no response \n", 3},
      {"message, no status", thrown(settings_error() << tag_what("duplicate vreg label")),
       "duplicate vreg label \n", -1},
      {"status, no message", thrown(settings_error() << tag_exit_code(94)), "don't know....\n", 94},
      {"nothing carried", thrown(no_response()), "don't know....\n", -1},
      {"update state only", thrown(settings_error() << tag_update_state("writing")), "\n", -1},
  };
  for (const auto& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(writeErrorBanner(c.failure, err), c.status) << c.name;
    const std::string diagnostics = diagnosticsOf(c.failure);
    ASSERT_FALSE(diagnostics.empty());
    ASSERT_EQ(diagnostics.back(), '\n');
    EXPECT_EQ(err.str(), opening + c.firstLine + dividing + diagnostics + closing) << c.name;
  }
}

TEST(ErrorBannerTest, LibraryFailuresRaisedThroughBoostGetTheFullBanner) {
  // Asio raises its system errors through boost::throw_exception, so they carry Boost.Exception
  // information even without a message tag.
  std::exception_ptr failure;
  try {
    boost::throw_exception(boost::system::system_error(
        boost::system::errc::make_error_code(boost::system::errc::io_error), "close"));
  } catch (...) {
    failure = std::current_exception();
  }
  std::ostringstream err;
  EXPECT_EQ(writeErrorBanner(failure, err), -1);
  const std::string text = err.str();
  EXPECT_EQ(text.rfind(opening + "don't know....\n" + dividing, 0), 0u) << text;
  EXPECT_NE(text.find("close: Input/output error"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - closing.size()), closing);
}

TEST(ErrorBannerTest, OtherFailuresShowTheirTextOrUnknownException) {
  {
    std::ostringstream err;
    EXPECT_EQ(writeErrorBanner(thrown(std::runtime_error("bad lexical cast")), err), -1);
    EXPECT_EQ(err.str(), opening + "bad lexical cast\n" + closing);
  }
  {
    std::ostringstream err;
    EXPECT_EQ(writeErrorBanner(thrown(42), err), -1);
    EXPECT_EQ(err.str(), opening + "Unknown exception\n" + closing);
  }
}

}  // namespace
}  // namespace sunlink
