// The open link of this run, which the program closes on its way out.
#pragma once

#include <memory>

namespace sunlink {

class QmxSerial;

// Owned here from the moment main opens it (or discovery hands it over) until the program ends:
// setting one makes exitProgram close it first. Main thread only.
QmxSerial* currentLink();
void setCurrentLink(std::unique_ptr<QmxSerial> link);
// Stops and destroys the current link (if any) and clears it; throws what stop throws.
void closeCurrentLink();

}  // namespace sunlink
