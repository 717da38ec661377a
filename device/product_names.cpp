#include "device/capabilities.h"

namespace sunlink {

// Display names by product id, ascending. The table is only consulted for a name: an id missing
// here is still identified, and a charger with firmware 1.12 or later then names itself through
// its model-name register. The chargers of the ratings table are named from their ratings
// ("MPPT <PV volts>/<amperes>"); newer chargers are left out on purpose so their own name is used.
const std::vector<ProductName>& productNameTable() {
  static const std::vector<ProductName> table = {
      {0x0200, "Battery Monitor 500"},
      {0x0201, "Battery Monitor 500 Relay"},
      {0x0202, "Battery Monitor 1000"},
      {0x0203, "Battery Monitor 1000 Relay"},
      {0x0204, "Battery Monitor 2000"},
      {0x0205, "Battery Monitor 2000 Relay"},
      {0x0300, "MPPT 70/15"},
      {0xA040, "MPPT 75/50"},
      {0xA041, "MPPT 150/35"},
      {0xA042, "MPPT 75/15"},
      {0xA043, "MPPT 100/15"},
      {0xA044, "MPPT 100/30"},
      {0xA045, "MPPT 150/70"},
      {0xA046, "MPPT 250/70"},
      {0xA047, "MPPT 250/100"},
      {0xA048, "MPPT 150/60"},
      {0xA049, "MPPT 150/85"},
      {0xA04A, "MPPT 100/50"},
      {0xA04B, "MPPT 150/45"},
      {0xA04C, "MPPT 75/10"},
      {0xA04D, "MPPT 150/100"},
      {0xA04E, "MPPT 250/60"},
      {0xA04F, "MPPT 250/85"},
      {0xA050, "MPPT 250/40"},
      {0xA051, "MPPT 100/40"},
      {0xA052, "MPPT 100/20 48V"},
      {0xA110, "DC Converter 12/24-10"},
      {0xA111, "DC Converter 24/12-20"},
      {0xA201, "Inverter 12/250"},
      {0xA202, "Inverter 24/500"},
      {0xA381, "Battery Monitor 500 Smart"},
      {0xFFFE, "reserved"},
      {0xFFFF, "No product set"},
  };
  return table;
}

std::optional<std::string> lookupProductName(std::uint16_t productId) {
  for (const ProductName& entry : productNameTable()) {
    if (entry.productId == productId) return std::string(entry.name);
  }
  return std::nullopt;
}

}  // namespace sunlink
