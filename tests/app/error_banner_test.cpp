// The ERROR banner that ends a run when a failure reaches the top.
#include "app/error_banner.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>
#include <sstream>
#include <stdexcept>

#include "base/errors.h"

namespace sunlink {
namespace {

const std::string opening = "========================== ERROR =============================\n";
const std::string closing = "==============================================================\n";

template <class Failure>
std::exception_ptr thrown(const Failure& failure) {
  try {
    throw failure;
  } catch (...) {
    return std::current_exception();
  }
}

// The banner shows the failure's message alone: nothing of the exception library's diagnostic
// report ("Throw location unknown ...", type names), and never "don't know....".
TEST(ErrorBannerTest, ProgramFailuresShowTheirMessageAndExitCodeOnly) {
  const struct {
    const char* name;
    std::exception_ptr failure;
    std::string message;
    int status;
  } cases[] = {
      {"message and status", thrown(no_response() << tag_what("no response") << tag_exit_code(3)),
       "no response", 3},
      {"message, no status", thrown(settings_error() << tag_what("duplicate vreg label")),
       "duplicate vreg label", -1},
      {"status, no message", thrown(settings_error() << tag_exit_code(94)), "settings error", 94},
      {"nothing carried", thrown(no_response()), "no response", -1},
      {"update state only", thrown(settings_error() << tag_update_state("writing")),
       "settings error", -1},
  };
  for (const auto& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(writeErrorBanner(c.failure, err), c.status) << c.name;
    EXPECT_EQ(err.str(), opening + c.message + "\n" + closing) << c.name;
  }
}

TEST(ErrorBannerTest, LibraryFailuresRaisedThroughBoostShowTheirOwnMessage) {
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
  EXPECT_EQ(err.str(), opening + "close: Input/output error\n" + closing);
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
