// The interactive console menus. Each reads whole lines from the model's io.in and returns whether
// the settings list differs from what it was when the menu was entered: values typed equal to the
// current ones, or changed and changed back, are no change. When the input ends before x is typed,
// they throw input_ended (base/errors.h) so that the run leaves every menu at once and stores
// nothing.
#pragma once

namespace sunlink {

class ChargerSettings;

bool runMainMenu(ChargerSettings& model);
bool runLoadMenu(ChargerSettings& model);
bool runLightingMenu(ChargerSettings& model);
bool runRelayMenu(ChargerSettings& model);
bool runTxPortMenu(ChargerSettings& model);
bool runRxPortMenu(ChargerSettings& model);

}  // namespace sunlink
