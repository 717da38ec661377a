#include "settings/vreg_table.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/log_capture.h"

namespace sunlink {
namespace {

using test::LogCapture;

std::string whatOf(const settings_error& e) {
  const std::string* what = boost::get_error_info<tag_what>(e);
  return what ? *what : std::string();
}

TEST(VregTableTest, DuplicatePushIsRefusedAndLeavesTheTable) {
  VregTable table;
  EXPECT_FALSE(table.loaded);
  table.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1.0));
  table.push(Vreg("absorption_voltage", 0xEDF7, REG_NONE, 100.0));
  EXPECT_TRUE(table.loaded);

  LogCapture log;
  try {
    table.push(Vreg("battery_type", 0x1234, REG_NONE, 1.0));
    FAIL() << "no exception";
  } catch (const settings_error& e) {
    EXPECT_EQ(whatOf(e), "Duplicate vreg");
  }
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"ERR.settings: push: vreg \"battery_type\" already present"});
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.find("battery_type").get, 0xEDF1u);

  // Labels compare exactly: another case is another setting.
  table.push(Vreg("Battery_Type", 0x1234, REG_NONE, 1.0));
  EXPECT_EQ(table.size(), 3u);
}

TEST(VregTableTest, FindGivesAChangeableVregOrThrows) {
  VregTable table;
  table.push(Vreg("float_voltage", 0xEDF6, REG_NONE, 100.0));
  table.find("float_voltage").value = "0564";
  EXPECT_EQ(table.vregs()[0].value, "0564");
  EXPECT_EQ(table.lookup("float_voltage"), &table.vregs()[0]);
  EXPECT_TRUE(table.contains("float_voltage"));

  LogCapture log;
  EXPECT_EQ(table.lookup("float"), nullptr);
  EXPECT_FALSE(table.contains("float"));
  EXPECT_TRUE(log.lines().empty());
  try {
    table.find("float");
    FAIL() << "no exception";
  } catch (const settings_error& e) {
    EXPECT_EQ(whatOf(e), "Unable to locate vreg");
  }
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"ERR.settings: find: unable to locate vreg \"float\""});
}

TEST(VregTableTest, ClearForgetsLabelsAndFlags) {
  VregTable table;
  table.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1.0));
  table.retrieved = true;
  table.clear();
  EXPECT_EQ(table.size(), 0u);
  EXPECT_FALSE(table.loaded);
  EXPECT_FALSE(table.retrieved);
  table.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1.0));
  EXPECT_EQ(table.size(), 1u);

  // Emptied behind push's back: the label is free again, and still guarded once pushed.
  table.vregs().clear();
  table.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1.0));
  LogCapture log;
  EXPECT_THROW(table.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1.0)), settings_error);
  EXPECT_EQ(table.size(), 1u);
}

}  // namespace
}  // namespace sunlink
