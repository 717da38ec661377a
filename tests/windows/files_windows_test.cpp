// Replacing the settings file on Windows: whole or not at all, with the earlier file's marks, and
// failures that name the path. Cross-built and run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "support/file_folder_test.h"

namespace sunlink {
namespace {

namespace fs = std::filesystem;

class ReplaceFileTest : public test::FileFolderTest {
 protected:
  // Read-only marks would keep the files from being removed.
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(folder_))
      SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    FileFolderTest::TearDown();
  }
};

TEST_F(ReplaceFileTest, ReplacesTheWholeFileAndKeepsItsMarks) {
  const DWORD marks[] = {0, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN};
  for (const DWORD mark : marks) {
    SCOPED_TRACE(mark);
    const std::string file = put("settings.xml", "earlier");
    if (mark != 0) {
      ASSERT_TRUE(SetFileAttributesW(fs::path(file).wstring().c_str(), mark));
    }
    replaceFile(file, std::string(100000, 'n'));
    EXPECT_EQ(contents(file), std::string(100000, 'n'));
    const DWORD now = GetFileAttributesW(fs::path(file).wstring().c_str());
    EXPECT_EQ(now & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), mark);
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.xml"}) << "no temporary file left";
    SetFileAttributesW(fs::path(file).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  // A new file.
  replaceFile(path("new.xml"), "new");
  EXPECT_EQ(contents(path("new.xml")), "new");
}

TEST_F(ReplaceFileTest, FailuresNameThePathAndLeaveEverythingAsItWas) {
  fs::create_directory(path("folder"));
  put("folder/keep.txt", "kept");
  for (const std::string& target : {path("missing\\settings.xml"), path("folder"), std::string()}) {
    try {
      replaceFile(target, "new");
      ADD_FAILURE() << "no failure for \"" << target << "\"";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + target + "\""), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(contents(path("folder/keep.txt")), "kept");
  EXPECT_EQ(entries(), std::vector<std::string>{"folder"}) << "no temporary file left";
}

}  // namespace
}  // namespace sunlink
