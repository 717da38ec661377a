// The interactive console menus. Each reads whole lines from the session's input and returns
// whether the settings list differs from what it was when the menu was entered: values typed equal
// to the current ones, or changed and changed back, are no change. When the input ends before x is
// typed, they throw input_ended (base/errors.h) so that the run leaves every menu at once and
// stores nothing.
#pragma once

namespace sunlink {

class ConsoleSession;

bool runMainMenu(ConsoleSession& session);
bool runLoadMenu(ConsoleSession& session);
bool runLightingMenu(ConsoleSession& session);
bool runRelayMenu(ConsoleSession& session);
bool runTxPortMenu(ConsoleSession& session);
bool runRxPortMenu(ConsoleSession& session);

}  // namespace sunlink
