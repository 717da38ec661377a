#include <gtest/gtest.h>

#include <sstream>

#include "base/errors.h"
#include "console/console_io.h"
#include "console/menu_input.h"

namespace sunlink {
namespace {

struct Console {
  explicit Console(const std::string& typed) : in(typed) {
    io.in = &in;
    io.out = &out;
    io.err = &err;
  }
  std::istringstream in;
  std::ostringstream out, err;
  ConsoleIo io;
};

TEST(MenuInput, ReadsLinesAsTyped) {
  // Only the line end goes, LF or CR LF: blanks stay, so they never match a key, and so does a
  // carriage return that does not end the line.
  Console c("a\n x \r\n\r\r\n\nlast");
  EXPECT_EQ(readAnswer(c.io), "a");
  EXPECT_EQ(readAnswer(c.io), " x ");
  EXPECT_EQ(readAnswer(c.io), "\r");
  EXPECT_EQ(readAnswer(c.io), "");
  // A last line without a line end is still an answer; after it the input has ended.
  EXPECT_EQ(readAnswer(c.io), "last");
  EXPECT_THROW(readAnswer(c.io), input_ended);
  EXPECT_THROW(readAnswer(c.io), input_ended);
  EXPECT_EQ(c.out.str(), "");
}

TEST(MenuInput, LinesBeyondTheLimitAreUnreadableAndSkippedWhole) {
  const std::string longest(MAX_ANSWER_LENGTH, '7');
  Console c(longest + "\r\n" + longest + "8\r\n" + std::string(100000, 'z') + "\nnext\n" + longest +
            "9");
  EXPECT_EQ(readAnswer(c.io), longest);
  EXPECT_EQ(readAnswer(c.io), UNREADABLE_ANSWER);
  EXPECT_EQ(readAnswer(c.io), UNREADABLE_ANSWER);
  EXPECT_EQ(readAnswer(c.io), "next");
  // Over-long up to the end of input: unreadable, then ended.
  EXPECT_EQ(readAnswer(c.io), UNREADABLE_ANSWER);
  EXPECT_THROW(readAnswer(c.io), input_ended);
}

TEST(MenuInput, InputEndingAfterALineEndGivesNoEmptyAnswer) {
  Console none("");
  EXPECT_THROW(readAnswer(none.io), input_ended);
  Console one("a\n");
  EXPECT_EQ(readAnswer(one.io), "a");
  EXPECT_THROW(readAnswer(one.io), input_ended);
}

TEST(MenuInput, FailedStreamEndsTheInput) {
  Console c("x\n");
  c.in.setstate(std::ios::badbit);
  EXPECT_THROW(readAnswer(c.io), input_ended);
}

TEST(MenuInput, AnswerLineEndsTheOutputLine) {
  Console c("v\n");
  *c.io.out << "prompt: ";
  EXPECT_EQ(readAnswerLine(c.io), "v");
  EXPECT_EQ(c.out.str(), "prompt: \n");
}

}  // namespace
}  // namespace sunlink
