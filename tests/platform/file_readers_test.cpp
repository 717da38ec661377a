// Who besides its owner may read a file, by its permission bits.
#include "platform/file_readers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/e2e_support.h"

namespace sunlink {
namespace {

TEST(FileReaders, NamesTheGroupOrOthersThatMayReadAFile) {
  test::TempDir dir;
  const std::string file = dir.file("password");
  std::ofstream(file) << "secret\n";
  const struct {
    mode_t mode;
    std::string readers;
  } cases[] = {
      {0600, ""},
      {0400, ""},
      {0620, ""},  // others may write to it, but not read it: not this check's business
      {0640, "its group (mode 0640)"},
      {0604, "others (mode 0604)"},
      {0644, "its group and others (mode 0644)"},
      {0755, "its group and others (mode 0755)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.readers);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    EXPECT_EQ(otherReaders(file), c.readers);
  }
  EXPECT_EQ(otherReaders(dir.file("missing")), "");
}

}  // namespace
}  // namespace sunlink
