// The TX and RX port-function screens.
#include <gtest/gtest.h>

#include <string>

#include "console/menus.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

TEST(PortMenus, TxScreenOffersTheFunctionsOfTheCharger) {
  struct Case {
    std::uint32_t flags;
    const char* answer;
    unsigned stored;
    const char* choices;
  };
  const Case cases[] = {
      {kTx, "2", 0,
       "0 - Normal SunLink communication (default)\n1 - Pulse every 0.01kWh\n\n"
       "TX Port function (type 0,1 and press enter) [0]: \n"},
      {kTx, "1", 1,
       "0 - Normal SunLink communication (default)\n1 - Pulse every 0.01kWh\n\n"
       "TX Port function (type 0,1 and press enter) [0]: \n"},
      {kTx | kSolarTimer | kVirtualLoad | kVirtualRelay, "5", 5,
       "0 - Normal SunLink communication (default)\n1 - Pulse every 0.01kWh\n"
       "2 - Light dimming control (pwm normal)\n3 - Light dimming control (pwm inverted)\n"
       "4 - Virtual load output\n5 - Virtual relay\n\n"
       "TX Port function (type 0,1,2,3,4,5 and press enter) [0]: \n"},
      {kTx | kVirtualLoad, "3", 0,
       "0 - Normal SunLink communication (default)\n1 - Pulse every 0.01kWh\n"
       "4 - Virtual load output\n\n"
       "TX Port function (type 0,1,4 and press enter) [0]: \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.type(std::string(c.answer) + "\n");
    EXPECT_EQ(runTxPortMenu(h.session), c.stored != 0) << c.answer;
    EXPECT_EQ(h.u8("port_tx_function"), c.stored);
    const std::string screen = std::string("\nSunLink TX Port function\n\n") + c.choices;
    const std::string out = h.out.str();
    ASSERT_GE(out.size(), screen.size());
    EXPECT_EQ(out.substr(out.size() - screen.size()), screen);
    EXPECT_EQ(h.err.str(), c.stored != 0 ? "" : "Unable to interpret value\n\n");
  }
}

TEST(PortMenus, RxScreenListsLoadFunctionsOnlyWithLoadOutputButAcceptsThem) {
  struct Case {
    std::uint32_t flags;
    const char* answer;
    unsigned stored;
    bool changed;
    const char* choices;
  };
  const Case cases[] = {
      {kRx, "2", 2, true, "0 - Remote on/off\n\nRX Port function (type 0 and press enter) [1]: \n"},
      {kRx, "3", 1, false,
       "0 - Remote on/off\n\nRX Port function (type 0 and press enter) [1]: \n"},
      {kRx | kLoad, "0", 0, true,
       "0 - Remote on/off\n1 - Load output configuration (default)\n2 - Load output on/off\n\n"
       "RX Port function (type 0,1,2 and press enter) [1]: \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.model.find("port_rx_function").setU8(1);
    h.type(std::string(c.answer) + "\n");
    EXPECT_EQ(runRxPortMenu(h.session), c.changed) << c.answer;
    EXPECT_EQ(h.u8("port_rx_function"), c.stored);
    const std::string screen = std::string("\nSunLink RX Port function\n\n") + c.choices;
    const std::string out = h.out.str();
    ASSERT_GE(out.size(), screen.size());
    EXPECT_EQ(out.substr(out.size() - screen.size()), screen);
  }
}

}  // namespace
}  // namespace sunlink
