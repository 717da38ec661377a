// chgtune: reads and changes the settings of an MPPT solar charger over its serial port.
#include "app/run.h"
#include "base/exit_program.h"

int main(int argc, char* argv[]) { sunlink::exitProgram(sunlink::runChgtune(argc, argv)); }
