// The settings printout: the charger's current settings in plain language, one line each, from the
// in-memory settings list only.
#pragma once

#include <ostream>

namespace sunlink {

class ChargerSettings;

// Writes the printout of model's settings on out.
void printSettings(ChargerSettings& model, std::ostream& out);

}  // namespace sunlink
