// The register map: the catalogue's settings that this charger has, in the catalogue's order, which
// is also the order in which restore writes them.

#include "charger/charger_settings.h"
#include "charger/setting_catalogue.h"

namespace sunlink {

void ChargerSettings::pushRegisterMap() {
  for (const SettingRow& row : settingCatalogue()) {
    if (rowApplies(row, capabilities)) settings.push(catalogueVreg(row, capabilities));
  }
}

}  // namespace sunlink
