#include "device/capabilities.h"

namespace sunlink {

// Ratings of the chargers whose firmware cannot report them (before 1.16). The row order is the
// order identification walks them in; only the load output, rotary encoder and history columns
// take part in deriving capability flags, the rest feeds the clamping of the setters and the
// printout. Every row's display name in the product-name table is built from its PV voltage and
// current ("MPPT 75/15").
const std::vector<ModelRating>& builtInModelRatings() {
  static const std::vector<ModelRating> table = {
      // id, load, rotary, history, min V, max V, current A, PV V
      {0xA04C, true, false, true, 12, 24, 10, 75},   {0x0300, true, false, false, 12, 24, 15, 70},
      {0xA042, true, false, true, 12, 24, 15, 75},   {0xA043, true, false, true, 12, 24, 15, 100},
      {0xA044, false, true, true, 12, 24, 30, 100},  {0xA04A, false, true, true, 12, 24, 50, 100},
      {0xA041, false, true, true, 12, 48, 35, 150},  {0xA04B, false, true, true, 12, 48, 45, 150},
      {0xA040, false, true, true, 12, 24, 50, 75},   {0xA048, false, true, true, 12, 48, 60, 150},
      {0xA045, false, true, true, 12, 48, 70, 150},  {0xA049, false, true, true, 12, 48, 85, 150},
      {0xA04D, false, true, true, 12, 48, 100, 150}, {0xA04E, false, true, true, 12, 48, 60, 250},
      {0xA046, false, true, true, 12, 48, 70, 250},  {0xA04F, false, true, true, 12, 48, 85, 250},
      {0xA047, false, true, true, 12, 48, 100, 250}, {0xA052, false, true, true, 12, 48, 20, 100},
      {0xA051, false, true, true, 12, 48, 40, 100},  {0xA050, false, true, true, 12, 48, 40, 250},
  };
  return table;
}

}  // namespace sunlink
