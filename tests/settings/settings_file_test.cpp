#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/file_folder_test.h"
#include "support/log_capture.h"

namespace sunlink {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

class SettingsFileTest : public test::FileFolderTest {
 protected:
  int read(VregTable& table, const std::string& file) {
    out_.str("");
    err_.str("");
    return readSettingsFile(table, file, out_, err_);
  }
  int write(const VregTable& table, const std::string& file) {
    out_.str("");
    err_.str("");
    return writeSettingsFile(table, file, out_, err_);
  }

  std::ostringstream out_;
  std::ostringstream err_;
};

Vreg make(const std::string& label, std::uint32_t get, std::uint32_t set, const std::string& value,
          std::int32_t status) {
  Vreg v(label, get, set, 1.0);
  v.value = value;
  v.status = status;
  return v;
}

// A table that uses every attribute the file holds.
VregTable sampleTable() {
  VregTable table;
  table.push(make("absorption_voltage", 0xEDF7, REG_NONE, "05A0", VREG_OK));
  table.push(make("capabilities_reg", 0x0140, REG_NO_ACCESS, "00002506", VREG_OK));
  table.push(make("maximum_current", 0xEDF0, REG_NONE, "", VREG_GET_FAILED));
  Vreg limited = make("float_voltage", 0xEDF6, REG_NONE, "0564", VREG_LIMIT_FAILED);
  limited.min = "0400";
  limited.max = "0500";
  table.push(limited);
  Vreg checked = make("battery_voltage_setting3", 0xEDEA, 0xEDEF, "0C", VREG_OK);
  checked.verify = 0xEDEA;
  checked.minver = "1.12";
  checked.maxver = "1.20";
  checked.group = "battery_voltage_setting";
  checked.productids = "0xA042";
  checked.auto_bat = "absorption_voltage";
  checked.conditions["is_mppt"] = "01";
  checked.scale = 10.0;
  table.push(checked);
  table.push(make("is_mppt", REG_NONE, REG_NONE, "01", VREG_SKIPPED));
  table.push(make("far", 0x12345, REG_NONE, "", 42));
  return table;
}

TEST_F(SettingsFileTest, WrittenLayoutIsExact) {
  const std::string file = path("settings.xml");
  ASSERT_EQ(write(sampleTable(), file), 0);
  EXPECT_EQ(out_.str(), "=== Writing settings to \"" + file + "\" ===\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(contents(file),
            std::string(kDeclaration) +
                "<qmx>\n"
                "    <vregs>\n"
                "        <vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x05A0\" "
                "status=\"ok\"/>\n"
                "        <vreg label=\"capabilities_reg\" get=\"0x0140\" set=\"0xFFFE\" "
                "value=\"0x00002506\" status=\"ok\"/>\n"
                "        <vreg label=\"maximum_current\" get=\"0xEDF0\" status=\"get_failed\"/>\n"
                "        <vreg label=\"float_voltage\" get=\"0xEDF6\" value=\"0x0564\" "
                "min=\"0x0400\" max=\"0x0500\" status=\"limit_failed\"/>\n"
                "        <vreg label=\"battery_voltage_setting3\" minver=\"1.12\" maxver=\"1.20\" "
                "get=\"0xEDEA\" set=\"0xEDEF\" verify=\"0xEDEA\" value=\"0x0C\" status=\"ok\"/>\n"
                "        <vreg label=\"is_mppt\" value=\"0x01\" status=\"skipped\"/>\n"
                "        <vreg label=\"far\" get=\"0x12345\"/>\n"
                "    </vregs>\n"
                "</qmx>\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"settings.xml"});

  ASSERT_EQ(write(VregTable(), file), 0);
  EXPECT_EQ(contents(file), std::string(kDeclaration) + "<qmx>\n    <vregs/>\n</qmx>\n");
}

TEST_F(SettingsFileTest, ReadingBackGivesTheWrittenFields) {
  const std::string file = path("settings.xml");
  VregTable written = sampleTable();
  // A register id beyond 16 bits names no register of the charger: such a file is not read back.
  written.vregs().pop_back();
  ASSERT_EQ(write(written, file), 0);

  VregTable table;
  table.push(make("left_over", 1, 2, "03", VREG_OK));
  table.retrieved = true;
  ASSERT_EQ(read(table, file), 0);
  EXPECT_EQ(out_.str(), "=== Reading settings from \"" + file + "\" ===\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_FALSE(table.retrieved);
  EXPECT_TRUE(table.loaded);
  ASSERT_EQ(table.size(), written.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Vreg& w = written.vregs()[i];
    const Vreg& r = table.vregs()[i];
    EXPECT_EQ(r.label, w.label);
    EXPECT_EQ(r.minver, w.minver);
    EXPECT_EQ(r.maxver, w.maxver);
    EXPECT_EQ(r.get, w.get);
    EXPECT_EQ(r.set, w.set);
    EXPECT_EQ(r.verify, w.verify);
    EXPECT_EQ(r.value, w.value);
    EXPECT_EQ(r.min, w.min);
    EXPECT_EQ(r.max, w.max);
    EXPECT_EQ(r.scale, 1.0);
    EXPECT_EQ(r.group, "");
    EXPECT_EQ(r.productids, "");
    EXPECT_EQ(r.auto_bat, "");
    // A value read from the charger is ok again, also one out of its limits; what was not read
    // keeps its status, so that a store passes over it.
    const bool read = w.status == VREG_OK || w.status == VREG_LIMIT_FAILED;
    EXPECT_EQ(r.status, read ? VREG_OK : w.status) << r.label;
  }
}

TEST_F(SettingsFileTest, UnusableFilesGiveTheirStatus) {
  std::string truncated;
  {
    VregTable t;
    t.push(make("absorption_voltage", 0xEDF7, REG_NONE, "05A0", VREG_OK));
    t.push(make("float_voltage", 0xEDF6, REG_NONE, "0564", VREG_OK));
    ASSERT_EQ(write(t, path("whole.xml")), 0);
    const std::string whole = contents(path("whole.xml"));
    truncated = whole.substr(0, whole.size() / 2);
  }
  struct Case {
    std::string name;
    std::string content;
    int status;
    std::string logStart;  // the settings error line begins so
  };
  const std::vector<Case> cases = {
      {"plain.txt", "absorption_voltage=14.4\n", 29, "ERR.settings: " + path("plain.txt") + "("},
      {"truncated.xml", truncated, 29, "ERR.settings: " + path("truncated.xml") + "("},
      {"empty.xml", "", 29, "ERR.settings: " + path("empty.xml") + "(1): no element found"},
      {"comment.xml", "<?xml version=\"1.0\"?><!-- vregs -->", 29,
       "ERR.settings: " + path("comment.xml") + "(1): no element found"},
      {"duplicate.xml",
       "<qmx><vregs><vreg label=\"a\" value=\"0x01\"/><vreg label=\"a\"/></vregs></qmx>", 94,
       "ERR.settings: push: vreg \"a\" already present"},
      {"bare.xml", "<qmx><vregs><vreg label=\"a\"/><vreg/></vregs></qmx>", 94,
       "ERR.settings: xml file \"" + path("bare.xml") + "\": No such node (<xmlattr>)"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    VregTable table;
    table.retrieved = true;
    EXPECT_EQ(read(table, put(c.name, c.content)), c.status) << c.name;
    EXPECT_EQ(out_.str(), "=== Reading settings from \"" + path(c.name) + "\" ===\n");
    EXPECT_EQ(err_.str(), c.status == 94 ? "Reading settings failed\n" : "") << c.name;
    const std::vector<std::string> lines = log.category("settings");
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0].rfind(c.logStart, 0), 0u) << lines[0];
    EXPECT_FALSE(table.retrieved);
    EXPECT_LE(table.size(), 1u);
  }

  LogCapture log;
  VregTable table;
  EXPECT_EQ(read(table, path("missing.xml")), 29);
  fs::create_directory(path("folder.xml"));
  EXPECT_EQ(read(table, path("folder.xml")), 29);
  EXPECT_EQ(
      log.category("settings"),
      (std::vector<std::string>{
          "ERR.settings: " + path("missing.xml") + ": cannot open file: No such file or directory",
          "ERR.settings: " + path("folder.xml") + ": cannot open file: Is a directory"}));
}

// A file of tens of MB must neither exhaust memory nor crash the program.
TEST_F(SettingsFileTest, HugeFileIsRefusedNamingIt) {
  const std::string file = path("huge.xml");
  {
    std::ofstream out(file, std::ios::binary);
    out << kDeclaration << "<qmx><vregs>";
  }
  fs::resize_file(file, 40 * 1024 * 1024);  // the rest reads as NUL bytes
  LogCapture log;
  VregTable table;
  EXPECT_EQ(read(table, file), 94);
  EXPECT_EQ(err_.str(), "Reading settings failed\n");
  EXPECT_EQ(log.category("settings"),
            std::vector<std::string>{"ERR.settings: xml file \"" + file +
                                     "\": larger than 1048576 bytes, not a settings file"});
  EXPECT_EQ(table.size(), 0u);

  // Exactly at the limit it is still read.
  std::string content = std::string(kDeclaration) +
                        "<qmx><vregs><vreg label=\"a\" get=\"0xEDF7\" value=\"0x05A0\"/></vregs>";
  content += std::string(maxSettingsFileBytes - content.size() - 6, ' ') + "</qmx>";
  ASSERT_EQ(content.size(), maxSettingsFileBytes);
  EXPECT_EQ(read(table, put("full.xml", content)), 0);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.vregs()[0].value, "05A0");
}

// The forms a hand-written file may hold besides the writer's own; everything else is refused
// (tests/e2e/settings_file_test.cpp).
TEST_F(SettingsFileTest, HandWrittenValuesAreRead) {
  const std::string file =
      put("hand.xml",
          "<qmx>\n<vregs>\n"
          "  <!-- absorption first -->\n"
          "  <vreg label=\"lower\" get=\"0xedf7\" set=\"0xEdF7\" value=\"0x5A0\"/>\n"
          "  <vreg label=\"short\" get=\"0x1\" verify=\"0xF\" value=\"0x1\"/>\n"
          "  <vreg label=\"wide\" get=\"0xEDF6\" value=\"0x12345678\"/>\n"
          "  <vreg label=\"plain\" value=\"0x0C\" extra=\"anything\"/>\n"
          "  <vreg label=\"no value\" get=\"0xEDF0\" status=\"ok\"/>\n"
          "  <note/>\n"
          "</vregs>\n</qmx>\n");
  VregTable table;
  ASSERT_EQ(read(table, file), 0);
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table.find("lower").get, 0xEDF7u);
  EXPECT_EQ(table.find("lower").set, 0xEDF7u);
  EXPECT_EQ(table.find("lower").value, "5A0");
  EXPECT_EQ(table.find("short").verify, 0xFu);
  EXPECT_EQ(table.find("wide").value, "12345678");
  EXPECT_EQ(table.find("plain").conditions.at("extra"), "00");
  for (const Vreg& v : table.vregs()) EXPECT_EQ(v.status, v.value.empty() ? VREG_UNKNOWN : VREG_OK);
}

// An interrupted or failed write used to leave a cut-off file where the earlier one was.
TEST_F(SettingsFileTest, FailedWriteKeepsTheEarlierFile) {
  const std::string file = path("settings.xml");
  VregTable small;
  small.push(make("battery_type", 0xEDF1, REG_NONE, "FF", VREG_OK));
  ASSERT_EQ(write(small, file), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const std::string earlier = contents(file);

  VregTable large;
  for (int i = 0; i < 50; ++i)
    large.push(make("setting_" + std::to_string(i), 0xED00 + i, REG_NONE, "0564", VREG_OK));

  // The file system refuses to let the file grow past 512 bytes.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*savedHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 512;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  LogCapture log;
  const int status = write(large, file);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);

  EXPECT_EQ(status, 95);
  EXPECT_EQ(err_.str(), "Writing settings failed\n");
  ASSERT_EQ(log.category("settings").size(), 1u);
  EXPECT_NE(log.category("settings")[0].find("File too large"), std::string::npos);
  EXPECT_EQ(contents(file), earlier);
  EXPECT_EQ(entries(), std::vector<std::string>{"settings.xml"});  // no temporary left

  // Written in full, the new file keeps the earlier one's permissions.
  ASSERT_EQ(write(large, file), 0);
  EXPECT_NE(contents(file), earlier);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), std::vector<std::string>{"settings.xml"});
}

TEST_F(SettingsFileTest, UnwritableTargetsFail) {
  fs::create_directory(path("folder"));
  put("folder/keep.txt", "kept");
  const std::string targets[] = {path("missing/settings.xml"), path("folder"), ""};
  for (const std::string& target : targets) {
    LogCapture log;
    EXPECT_EQ(write(sampleTable(), target), 95) << target;
    EXPECT_EQ(err_.str(), "Writing settings failed\n");
    ASSERT_EQ(log.category("settings").size(), 1u) << target;
    EXPECT_NE(log.category("settings")[0].find("\"" + target + "\""), std::string::npos)
        << log.category("settings")[0];
  }
  EXPECT_EQ(contents(path("folder/keep.txt")), "kept");
  EXPECT_EQ(entries(), (std::vector<std::string>{"folder"}));
}

// A link is followed to the file it names, from the link's own folder, through a chain of links;
// one that names nothing yet gets the file created where it points.
TEST_F(SettingsFileTest, WriteGoesThroughLinksToTheFileTheyName) {
  fs::create_directory(path("sub"));
  const std::string earlier = put("sub/real.xml", "earlier");
  fs::create_symlink("sub/real.xml", path("first.xml"));
  fs::create_symlink("../first.xml", path("sub/second.xml"));
  fs::create_symlink("missing.xml", path("sub/dangling.xml"));
  ASSERT_EQ(write(sampleTable(), path("sub/second.xml")), 0);
  ASSERT_EQ(write(sampleTable(), path("sub/dangling.xml")), 0);
  EXPECT_EQ(contents(earlier).rfind(kDeclaration, 0), 0u);
  EXPECT_EQ(contents(path("sub/missing.xml")), contents(earlier));
  EXPECT_EQ(fs::read_symlink(path("sub/second.xml")), "../first.xml");
  EXPECT_EQ(fs::read_symlink(path("sub/dangling.xml")), "missing.xml");
  EXPECT_EQ(entries(), (std::vector<std::string>{"first.xml", "sub"}));

  fs::create_symlink("loop.xml", path("loop.xml"));
  EXPECT_EQ(write(sampleTable(), path("loop.xml")), 95);
  EXPECT_TRUE(fs::is_symlink(path("loop.xml")));
}

}  // namespace
}  // namespace sunlink
